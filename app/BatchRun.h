#pragma once

#include "BatchOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <csignal>
#include <functional>

class UpdateEngine;

// One complete update without a user: the engine is given its ports and started, its clock runs on a
// timer of the run's own, and what its signals say goes to a BatchOutput.
class BatchRun
{
    Q_DECLARE_TR_FUNCTIONS(BatchRun)

public:
    // Exit statuses.
    static constexpr int Completed = 0;
    static constexpr int Failed = 1;
    static constexpr int Refused = 2;
    static constexpr int Interrupted = 130;

    BatchRun(UpdateEngine &engine, BatchOutput &output);

    // Runs until the update ends or `interrupted` is set; returns the exit status.
    int run(const QString &input, const QString &output, bool verify,
        const volatile std::sig_atomic_t &interrupted);

private:
    bool choosePorts(const QString &input, const QString &output);
    int connectUnit(const volatile std::sig_atomic_t &interrupted);
    int update(bool verify, const volatile std::sig_atomic_t &interrupted);
    int loopUntil(const std::function<int()> &step);
    BatchProgress progress() const;
    int end(int status, const QString &error, bool errorLogged = false);

    UpdateEngine &engine;
    BatchOutput &output;
    int inputRow = -1;
    int outputRow = -1;
    // What the engine's signals said.
    PassPosition position;
    PassFigures figures;
    BatchProgress shown;
    QElapsedTimer clock;
};
