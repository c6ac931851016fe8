#include "BatchRun.h"

#include "NandGeometry.h"
#include "PortChoice.h"
#include "UpdateEngine.h"

#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int TickMilliseconds = 100;
// What a step of the run returns while it has not ended the run with an exit status.
constexpr int GoingOn = -1;
constexpr int UnitAnswered = -2;

QString phaseName(int phase)
{
    switch (phase) {
    case BblScan:
    case BblRead:
    case DefectListRead:
        return QStringLiteral("discovery");
    case BlockErase:
    case DataPageStart:
    case DataPageSend:
    case DataPageProgram:
        return QStringLiteral("write");
    case BlockReadBack:
        return QStringLiteral("verify");
    case FinalCheck:
    case FinishConfirm:
        return QStringLiteral("finish");
    case Idle:
        return QStringLiteral("start");
    default:
        return QStringLiteral("list");
    }
}

} // namespace

BatchRun::BatchRun(UpdateEngine &engine, BatchOutput &output)
    : engine(engine)
    , output(output)
{
}

int BatchRun::run(
    const QString &input, const QString &output, bool verify, const volatile std::sig_atomic_t &interrupted)
{
    QObject::connect(&engine, &UpdateEngine::logLine,
        [this](const QString &text, bool perPage) { this->output.log(text, perPage); });
    QObject::connect(
        &engine, &UpdateEngine::positionChanged, [this](const PassPosition &now) { position = now; });
    // Started before the ports are looked up, so that a JACK server that stops meanwhile is heard.
    engine.watchPorts();
    if (!choosePorts(input, output))
        return Refused;
    const int connected = connectUnit(interrupted);
    return connected == UnitAnswered ? update(verify, interrupted) : connected;
}

// The ports by the names the window would list them under; a row of that list is the device to open.
bool BatchRun::choosePorts(const QString &input, const QString &output)
{
    const struct
    {
        UpdateEngine::DeviceNameQuery query;
        const QString &wanted;
        QString kind;
        int &row;
    } sides[] = {{&MidiPort::inputDeviceName, input, tr("MIDI inputs"), inputRow},
        {&MidiPort::outputDeviceName, output, tr("MIDI outputs"), outputRow}};
    QStringList chosen;
    for (const auto &side : sides) {
        const QStringList names = engine.portNames(side.query);
        const PortChoice choice = PortChoice::find(names, side.wanted);
        if (choice.outcome == PortChoice::Ambiguous) {
            end(Refused,
                tr("\"%1\" fits several %2: %3. Give more of the name.")
                    .arg(side.wanted, side.kind, choice.fitting.join(QStringLiteral(", "))));
            return false;
        }
        if (choice.outcome == PortChoice::Unknown) {
            end(Refused,
                tr("\"%1\" fits none of the %2. Listed: %3")
                    .arg(side.wanted, side.kind,
                        names.isEmpty() ? tr("none") : names.join(QStringLiteral(", "))));
            return false;
        }
        side.row = choice.row;
        chosen << names[choice.row];
    }
    if (!MidiPort::sameClient(inputRow, outputRow)) {
        end(Refused,
            tr("the input \"%1\" and the output \"%2\" belong to different MIDI clients, so they are "
               "not the same unit")
                .arg(chosen[0], chosen[1]));
        return false;
    }
    this->output.ports(chosen[0], chosen[1]);
    return true;
}

// UnitAnswered, or the exit status.
int BatchRun::connectUnit(const volatile std::sig_atomic_t &interrupted)
{
    if (!engine.connectUnit(inputRow, outputRow))
        return end(Refused, tr("the ports could not be opened"));
    QString serial;
    QString version;
    bool answered = false;
    int silentFor = 0;
    // The wait runs on after an answer, so the connections end with this function.
    const QMetaObject::Connection info
        = QObject::connect(&engine, &UpdateEngine::deviceInfo, [&](const QString &s, const QString &v) {
              if (!answered)
                  serial = s, version = v;
              answered = true;
          });
    const QMetaObject::Connection silence = QObject::connect(
        &engine, &UpdateEngine::unitSilent, [&silentFor](int seconds) { silentFor = seconds; });
    const int status = loopUntil([&] {
        if (interrupted)
            return end(Interrupted, tr("interrupted before the update began; the unit is unchanged"));
        if (answered)
            return UnitAnswered;
        if (silentFor)
            return end(Failed, tr("no answer to identify within %1 s").arg(silentFor));
        return GoingOn;
    });
    QObject::disconnect(info);
    QObject::disconnect(silence);
    if (status == UnitAnswered)
        output.connected(serial, version);
    return status;
}

int BatchRun::update(bool verify, const volatile std::sig_atomic_t &interrupted)
{
    bool over = false;
    bool finished = false;
    QString reason;
    QObject::connect(
        &engine, &UpdateEngine::passEnded, [&](bool f, const QString &r, const PassFigures &figures) {
            over = true;
            finished = f;
            reason = r;
            this->figures = figures;
        });
    clock.start();
    engine.startPass(verify);
    return loopUntil([&] {
        if (interrupted)
            return end(Interrupted,
                tr("interrupted: the unit is left in the middle of the update without a "
                   "complete image; a new run starts the whole update over"));
        if (over)
            return finished ? end(Completed, QString()) : end(Failed, reason, true);
        const BatchProgress now = progress();
        if (now.pages != shown.pages || now.pagesReadBack != shown.pagesReadBack || now.phase != shown.phase
            || now.block != shown.block || !shown.totalPages) {
            shown = now;
            output.progress(now);
        }
        return GoingOn;
    });
}

// Runs the event loop and the engine's clock, looking every tick, until `step` returns something else
// than GoingOn.
int BatchRun::loopUntil(const std::function<int()> &step)
{
    QEventLoop loop;
    int status = GoingOn;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        engine.tick();
        status = step();
        if (status != GoingOn)
            loop.quit();
    });
    tick.start(TickMilliseconds);
    loop.exec();
    return status;
}

BatchProgress BatchRun::progress() const
{
    BatchProgress now;
    now.totalPages = position.totalPages;
    now.verifying = position.verifying;
    now.phase = phaseName(position.phase);
    now.pages = position.pages;
    now.pagesReadBack = position.pagesReadBack;
    now.block = position.block;
    const double seconds = clock.elapsed() / 1000.0;
    now.kibPerSecond = seconds > 0 ? now.pages * (Nand::PageDataSize / Engine::KiB) / seconds : 0.0;
    // A page read back takes about as long as one written.
    const int done = now.pages + now.pagesReadBack;
    const int work = now.verifying ? 2 * now.totalPages : now.totalPages;
    if (seconds > 0 && done > 0)
        now.secondsLeft = (work - done) * seconds / done;
    return now;
}

int BatchRun::end(int status, const QString &error, bool errorLogged)
{
    BatchResult result;
    result.exitStatus = status;
    result.error = error;
    result.errorLogged = errorLogged;
    if (status == Completed) {
        result.figures = figures;
    } else if (clock.isValid()) {
        result.figures.pages = shown.pages;
        result.figures.newBadBlocks = position.newBadBlocks;
        result.figures.seconds = clock.elapsed() / 1000.0;
    }
    output.result(result);
    return status;
}
