// tavrin-drive: runs one complete update through the real window, as a user would, against the unit
// whose ports carry a given name, and reports the outcome. The run command uses it on machines
// without a display.

#include "MainWindow.h"
#include "NandCheck.h"
#include "Startup.h"
#include "WindowDriver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

constexpr int DeviceWaitMilliseconds = 15000;
constexpr int ConnectMilliseconds = 10000;
constexpr int DefaultTimeoutSeconds = 60;
constexpr int MillisecondsPerSecond = 1000;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Arguments
{
    QString ports;
    QString dump;
    QString screenshot;
    int timeoutSeconds = DefaultTimeoutSeconds;
    bool verify = true;
};

// Returns 0 to go on, otherwise the exit status.
int parse(const QStringList &arguments, Arguments &result)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs one complete update through the Tavrin Update window against the unit whose MIDI ports carry "
        "NAME, and reports serial, version, pages, time and whether the NAND dump holds the image."));
    const QCommandLineOption help(
        QStringList{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this text."));
    const QCommandLineOption ports(QStringLiteral("ports"),
        QStringLiteral("Part of the unit's port names (default \"Tavrin (simulated)\")."),
        QStringLiteral("NAME"), QStringLiteral("Tavrin (simulated)"));
    const QCommandLineOption dump(QStringLiteral("dump"),
        QStringLiteral(
            "The unit's NAND data area, written when the pass finished, to check against the image."),
        QStringLiteral("FILE"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window at the end as PNG."), QStringLiteral("FILE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral(
            "Give up the update when the unit has not replied for this many seconds (default 60)."),
        QStringLiteral("SECONDS"), QString::number(DefaultTimeoutSeconds));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
        QStringLiteral("Uncheck \"Verify after writing\": the pass does not read back what it writes."));
    parser.addOptions({help, ports, dump, screenshot, timeout, noVerify});
    if (!parser.parse(arguments)) {
        QTextStream(stderr) << "tavrin-drive: " << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet(help)) {
        out() << parser.helpText();
        return -1;
    }
    bool number = false;
    result.timeoutSeconds = parser.value(timeout).toInt(&number);
    if (!number || result.timeoutSeconds <= 0) {
        QTextStream(stderr) << "tavrin-drive: --timeout takes a number of seconds above 0\n";
        return 2;
    }
    result.ports = parser.value(ports);
    result.dump = parser.value(dump);
    result.screenshot = parser.value(screenshot);
    result.verify = !parser.isSet(noVerify);
    return 0;
}

QString checkDump(const QString &path, const QByteArray &image, bool &matches)
{
    matches = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no dump in %1").arg(path);
    const QByteArray nand = file.readAll();
    const NandCheck::Placement placement = NandCheck::checkImage(
        reinterpret_cast<const std::uint8_t *>(nand.constData()), std::size_t(nand.size()),
        reinterpret_cast<const std::uint8_t *>(image.constData()), std::size_t(image.size()));
    if (!placement.matches)
        return QStringLiteral("does NOT match the image: %1").arg(QString::fromStdString(placement.problem));
    matches = true;
    const NandCheck::List list
        = NandCheck::lastList(reinterpret_cast<const std::uint8_t *>(nand.constData()));
    return QStringLiteral(
        "matches the image (%1 pages in blocks %2 to %3; bad-block list in block 0 page %4, "
        "%5 bad blocks)")
        .arg(placement.imagePages)
        .arg(placement.firstBlock)
        .arg(placement.lastBlock)
        .arg(list.page)
        .arg(list.badBlocks.size());
}

} // namespace

int main(int argc, char *argv[])
{
    Arguments arguments;
    {
        // The help text and argument errors need no display.
        const QCoreApplication commandLine(argc, argv);
        if (const int status = parse(QCoreApplication::arguments(), arguments))
            return status < 0 ? 0 : status;
    }
    Startup::prepareApplication();
    QApplication application(argc, argv);
    Startup::fitFontToForm();

    if (!WindowDriver::waitForDevice(arguments.ports, DeviceWaitMilliseconds)) {
        out() << "tavrin-drive: no MIDI input and output named \"" << arguments.ports << "\" is listed\n";
        return 1;
    }
    MainWindow window;
    Startup::showWindow(window);
    window.VerifyCheckBox->setChecked(arguments.verify);
    WindowDriver driver(window);
    auto screenshot = [&] {
        if (arguments.screenshot.isEmpty())
            return;
        const QString path = QFileInfo(arguments.screenshot).absoluteFilePath();
        out() << "  screenshot:     "
              << (driver.saveScreenshot(path) ? path : QStringLiteral("could not be saved to %1").arg(path))
              << "\n";
    };

    out() << "Tavrin Update, driven through its window:\n";
    if (!driver.selectPorts(arguments.ports) || !driver.connectUnit(ConnectMilliseconds)) {
        out() << "  unit:           did not answer Connect\n";
        screenshot();
        out() << "result: no update\n";
        return 1;
    }
    out() << "  unit shown:     serial " << driver.serialShown() << ", version " << driver.versionShown()
          << "\n";
    out().flush();

    const WindowDriver::Pass pass = driver.runUpdate(arguments.timeoutSeconds * MillisecondsPerSecond);
    const double seconds = pass.milliseconds / double(MillisecondsPerSecond);
    if (pass.completed)
        out() << "  update:         " << pass.imagePages << " image pages written in "
              << QString::number(seconds, 'f', 1) << " s; " << pass.replies << " replies ("
              << QString::number(seconds > 0 ? pass.replies / seconds : 0.0, 'f', 0) << " round trips/s), "
              << pass.retries << " retries\n";
    else
        out() << "  update:         " << (pass.ended ? "stopped" : "no reply for the time given") << " after "
              << QString::number(seconds, 'f', 1) << " s (" << pass.replies << " replies, " << pass.retries
              << " retries)\n";

    bool matches = arguments.dump.isEmpty();
    if (!arguments.dump.isEmpty())
        out() << "  simulated NAND: " << checkDump(arguments.dump, window.engine.imageData, matches) << "\n";
    screenshot();
    const bool verified = pass.completed && matches;
    out() << "result: " << (verified ? "verified update" : "update FAILED") << "\n";
    return verified ? 0 : 1;
}
