#pragma once

#include "BatchOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <csignal>

class MainWindow;
class QListWidget;

// One complete update without a user: the window, never shown, is given its ports and its buttons are
// pressed, so the update runs on the window's own engine. Its log lines, progress and result go to a
// BatchOutput.
class BatchRun
{
    Q_DECLARE_TR_FUNCTIONS(BatchRun)

public:
    // Exit statuses.
    static constexpr int Completed = 0;
    static constexpr int Failed = 1;
    static constexpr int Refused = 2;
    static constexpr int Interrupted = 130;

    BatchRun(MainWindow &window, BatchOutput &output);

    // The names in one of the window's port lists, row by row.
    static QStringList listed(const QListWidget *list);

    // Runs until the update ends or `interrupted` is set; returns the exit status.
    int run(const QString &input, const QString &output, const volatile std::sig_atomic_t &interrupted);

private:
    bool choosePorts(const QString &input, const QString &output);
    int connectUnit(const volatile std::sig_atomic_t &interrupted);
    int update(const volatile std::sig_atomic_t &interrupted);
    BatchProgress progress() const;
    int end(int status, const QString &error);

    MainWindow &window;
    BatchOutput &output;
    // The reason that the engine gives when it stops a pass is its last log line.
    QString lastLogLine;
    BatchProgress shown;
    QElapsedTimer clock;
};
