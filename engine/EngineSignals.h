#pragma once

#include <QObject>
#include <QString>

enum ConnectionState : int { Disconnected = 0, Connecting = 1, Connected = 2 };

// The figures of the last pass, as its summary line gives them.
struct PassFigures
{
    int pages = 0;
    int blocks = 0;
    int newBadBlocks = 0;
    int retries = 0;
    double seconds = 0.0;
    double kibPerSecond = 0.0;
    bool verified = false;
};

// Where a pass stands: its step (an UpdatePhase), the image pages written and read back, the NAND
// block being written or read back (-1 otherwise) and the blocks it found bad.
struct PassPosition
{
    int phase = 0;
    int pages = 0;
    int pagesReadBack = 0;
    int totalPages = 0;
    bool verifying = false;
    int block = -1;
    int newBadBlocks = 0;

    bool operator==(const PassPosition &other) const
    {
        return phase == other.phase && pages == other.pages && pagesReadBack == other.pagesReadBack
            && totalPages == other.totalPages && verifying == other.verifying && block == other.block
            && newBadBlocks == other.newBadBlocks;
    }
};

// The one way out of the update engine: everything a face (the window, the batch mode) shows comes
// through these signals, emitted where the engine has something new to show.
class EngineSignals : public QObject
{
    Q_OBJECT

signals:
    // `perPage`: one of the lines that come once for every page written.
    void logLine(const QString &text, bool perPage);
    void deviceInfo(const QString &serial, const QString &version);
    // The unit did not answer the identify request within `seconds`.
    void unitSilent(int seconds);
    // The unit prepares its NAND: the progress bar shows and the controls stay locked.
    void passStarted();
    // Out of Engine::ProgressMaximum.
    void progressValue(int value);
    void blockShown(const QString &block);
    void pageShown(int page);
    void positionChanged(const PassPosition &position);
    // Ports came or went while no unit is connected, or the connection's JACK server stopped.
    void portsChanged();
    // The controls follow the connection again: no pass runs.
    void controlsReleased(int connectionState);
    // `finished`: the unit confirmed the finish; otherwise `reason` says why the pass stopped.
    void passEnded(bool finished, const QString &reason, const PassFigures &figures);
};
