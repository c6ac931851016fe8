#pragma once

#include "EngineSignals.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// Where an update stands, as the progress bar and the JSON progress event show it.
struct BatchProgress
{
    int pages = 0;
    int pagesReadBack = 0;
    bool verifying = false;
    int totalPages = 0;
    QString phase;
    int block = -1;
    double kibPerSecond = 0.0;
    double secondsLeft = -1.0;
};

// How a batch run ended.
struct BatchResult
{
    int exitStatus = 0;
    PassFigures figures;
    QString error; // empty for a finished, confirmed update
    bool errorLogged = false; // the error is the log line just printed
};

// What the batch mode prints: log lines on stdout and a progress bar on a terminal's stderr, or one
// JSON object per line on stdout for machines.
class BatchOutput
{
public:
    enum Format { Text, Json };

    // Text leaves out the line for each page written unless `verbose`; JSON keeps every line.
    BatchOutput(Format format, std::FILE *out, std::FILE *err, bool verbose = false);

    void ports(const QString &input, const QString &output);
    void connected(const QString &serial, const QString &version);
    void progress(const BatchProgress &progress);
    void log(const QString &text, bool perPage);
    // Always the last thing printed.
    void result(const BatchResult &result);

    // The ports on offer, one per line with its direction.
    // One line or JSON object per port: direction, MIDI system, address there, full name.
    struct ListedPort
    {
        QString system;
        QString address;
        QString name;
    };
    void portList(const QList<ListedPort> &inputs, const QList<ListedPort> &outputs);

private:
    void json(const char *event, QVariantMap fields);
    void line(std::FILE *stream, const QString &text);
    void clearBar();

    Format format;
    std::FILE *out;
    std::FILE *err;
    bool terminal = false;
    bool verbose = false;
    bool barShown = false;
};
