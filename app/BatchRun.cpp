#include "BatchRun.h"

#include "MainWindow.h"
#include "NandGeometry.h"
#include "PortChoice.h"

#include <QEventLoop>
#include <QListWidget>
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

// Runs the event loop, looking every tick, until `step` returns something else than GoingOn.
int loopUntil(const std::function<int()> &step)
{
    QEventLoop loop;
    int status = GoingOn;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        status = step();
        if (status != GoingOn)
            loop.quit();
    });
    tick.start(TickMilliseconds);
    loop.exec();
    return status;
}

} // namespace

QStringList BatchRun::listed(const QListWidget *list)
{
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

BatchRun::BatchRun(MainWindow &window, BatchOutput &output)
    : window(window)
    , output(output)
{
}

int BatchRun::run(const QString &input, const QString &output, const volatile std::sig_atomic_t &interrupted)
{
    window.logged = [this](const QString &text, bool perPage) {
        lastLogLine = text;
        this->output.log(text, perPage);
    };
    window.init();
    if (!choosePorts(input, output))
        return Refused;
    const int connected = connectUnit(interrupted);
    return connected == UnitAnswered ? update(interrupted) : connected;
}

// The ports as the window lists them; rows are chosen in the lists, as a user would.
bool BatchRun::choosePorts(const QString &input, const QString &output)
{
    const struct
    {
        QListWidget *list;
        const QString &wanted;
        QString kind;
    } sides[]
        = {{window.MidiInList, input, tr("MIDI inputs")}, {window.MidiOutList, output, tr("MIDI outputs")}};
    for (const auto &side : sides) {
        const QStringList names = listed(side.list);
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
        side.list->setCurrentRow(choice.row);
    }
    const int inputRow = window.MidiInList->currentRow();
    const int outputRow = window.MidiOutList->currentRow();
    if (!MidiPort::sameClient(inputRow, outputRow)) {
        end(Refused,
            tr("the input \"%1\" and the output \"%2\" belong to different MIDI clients, so they are "
               "not the same unit")
                .arg(window.MidiInList->currentItem()->text(), window.MidiOutList->currentItem()->text()));
        return false;
    }
    this->output.ports(window.MidiInList->currentItem()->text(), window.MidiOutList->currentItem()->text());
    return true;
}

// UnitAnswered, or the exit status.
int BatchRun::connectUnit(const volatile std::sig_atomic_t &interrupted)
{
    window.Connect();
    if (window.connectionState != Connecting)
        return end(Refused, tr("the ports could not be opened"));
    bool silent = false;
    // After the window's own report of the silent unit; the wait runs on after an answer, so the
    // connection ends with this function.
    const QMetaObject::Connection silence
        = QObject::connect(window.identifyWait, &QTimer::timeout, [&silent] { silent = true; });
    const int status = loopUntil([&] {
        if (interrupted)
            return end(Interrupted, tr("interrupted before the update began; the unit is unchanged"));
        if (window.connectionState == Connected)
            return UnitAnswered;
        if (silent)
            return end(
                Failed, tr("no answer to identify within %1 s").arg(window.identifyWait->interval() / 1000));
        return GoingOn;
    });
    QObject::disconnect(silence);
    if (status == UnitAnswered)
        output.connected(window.SnEdit->text(), window.VersionEdit->text());
    return status;
}

int BatchRun::update(const volatile std::sig_atomic_t &interrupted)
{
    clock.start();
    window.Transfer();
    return loopUntil([&] {
        if (interrupted)
            return end(Interrupted,
                tr("interrupted: the unit is left in the middle of the update without a "
                   "complete image; a new run starts the whole update over"));
        if (!window.passRunning()) {
            if (window.passFinished)
                return end(Completed, QString());
            return end(Failed, lastLogLine);
        }
        const BatchProgress now = progress();
        if (now.pages != shown.pages || now.pagesReadBack != shown.pagesReadBack || now.phase != shown.phase
            || now.block != shown.block || !shown.totalPages) {
            shown = now;
            output.progress(now);
        }
        return GoingOn;
    });
}

BatchProgress BatchRun::progress() const
{
    BatchProgress now;
    now.totalPages = window.imagePages();
    now.verifying = window.verifyPass;
    now.phase = phaseName(window.phase);
    const bool writing = window.phase >= BlockErase && window.phase <= DataPageProgram;
    if (window.dataWritten)
        now.pages = now.totalPages;
    else if (writing)
        now.pages = window.dataBlockIndex * Nand::PagesPerBlock
            + (window.phase == BlockErase ? 0 : window.pageInBlock);
    now.pagesReadBack = window.imagePagesReadBack();
    now.block = writing || window.phase == BlockReadBack ? window.currentBlock : -1;
    const double seconds = clock.elapsed() / 1000.0;
    now.kibPerSecond = seconds > 0 ? now.pages * (Nand::PageDataSize / Engine::KiB) / seconds : 0.0;
    // A page read back takes about as long as one written.
    const int done = now.pages + now.pagesReadBack;
    const int work = now.verifying ? 2 * now.totalPages : now.totalPages;
    if (seconds > 0 && done > 0)
        now.secondsLeft = (work - done) * seconds / done;
    return now;
}

int BatchRun::end(int status, const QString &error)
{
    BatchResult result;
    result.exitStatus = status;
    result.error = error;
    result.errorLogged = !error.isEmpty() && error == lastLogLine;
    if (status == Completed) {
        result.figures = window.passFigures();
    } else if (clock.isValid()) {
        result.figures.pages = shown.pages;
        result.figures.newBadBlocks = window.newBadBlockCount;
        result.figures.seconds = clock.elapsed() / 1000.0;
    }
    output.result(result);
    return status;
}
