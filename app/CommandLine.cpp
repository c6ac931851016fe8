#include "CommandLine.h"

#include "BatchOutput.h"
#include "BatchRun.h"
#include "BuildInfo.h"
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace CommandLine {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void requestInterrupt(int)
{
    interruptRequested = 1;
}

const char *const ShortOptions[] = {"-h", "-v"};

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

void print(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s", text.toLocal8Bit().constData());
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("tavrin-update: %1\n").arg(problem) + tr("Try 'tavrin-update --help'.\n"));
    return BatchRun::Refused;
}

QString exitStatuses()
{
    return tr(
        "\nExit status:\n"
        "  0    the update finished and the unit confirmed it\n"
        "  1    the update failed or stopped: no answer to identify within 3 s, a stall, a refused NAND,\n"
        "       or the unit did not confirm the finish\n"
        "  2    a usage error, or a port that cannot be found or opened\n"
        "  130  interrupted (Ctrl+C, SIGTERM): the unit is left in the middle of the update; a new run\n"
        "       starts the whole update over\n");
}

QString versionText()
{
    QFile image(QStringLiteral(":/data/resourcesNAND.bin"));
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    const bool read = image.open(QIODevice::ReadOnly) && sha256.addData(&image);
    QString code;
    for (std::uint8_t byte : BuildInfo::ResetCode)
        code += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return tr("Tavrin Update %1\n").arg(QString::fromLatin1(BuildInfo::Version))
        + (read ? tr("Image: %1 bytes, SHA-256 %2\n")
                      .arg(image.size())
                      .arg(QString::fromLatin1(sha256.result().toHex()))
                : tr("Image: cannot be read\n"))
        + tr("Reset code: %1\n").arg(code);
}

// Row n of a port list is device n, listed by the last look.
QList<BatchOutput::ListedPort> listedPorts(const QListWidget *list, bool input)
{
    QList<BatchOutput::ListedPort> ports;
    const QStringList names = BatchRun::listed(list);
    for (int row = 0; row < names.size(); ++row) {
        std::string system;
        std::string address;
        MidiPort::whereIs(input, unsigned(row), system, address);
        ports.append({QString::fromStdString(system), QString::fromStdString(address), names[row]});
    }
    return ports;
}

} // namespace

bool wanted(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0)
            return true;
        for (const char *option : ShortOptions) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

int run(int argc, char *argv[])
{
    // No window is ever shown here, so no display is needed; and the settings are only read.
    qputenv("QT_QPA_PLATFORM", "minimal");
    Startup::prepareApplication();
    QApplication application(argc, argv);
    QTranslator programTranslator;
    QTranslator frameworkTranslator;
    const QSettings settings;
    Startup::installTranslators(settings, programTranslator, frameworkTranslator);

    QCommandLineParser parser;
    parser.setApplicationDescription(tr(
        "Writes the NAND image built into it into a Tavrin unit over MIDI. Without options it opens its "
        "window; with --batch it runs one complete update without one. PORT is a listed port's exact name, "
        "or a part of one (any case) that fits only that port."));
    const QCommandLineOption batch(QStringLiteral("batch"), tr("Run one complete update and exit."));
    const QCommandLineOption input(
        QStringLiteral("in"), tr("The MIDI input that the unit answers on."), QStringLiteral("PORT"));
    const QCommandLineOption output(
        QStringLiteral("out"), tr("The MIDI output that reaches the unit."), QStringLiteral("PORT"));
    const QCommandLineOption json(
        QStringLiteral("json"), tr("Print JSON Lines on stdout, one event per line."));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
        tr("Write without reading each block back (a verified update takes about twice as long)."));
    const QCommandLineOption list(
        QStringLiteral("list"), tr("List the MIDI inputs and outputs on offer and exit."));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")}, tr("Show this text and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
        tr("Show the version, the built-in image's size and checksum and the reset code, and exit."));
    parser.addOptions({batch, input, output, json, noVerify, list, help, version});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(tr("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        print(stdout, parser.helpText() + exitStatuses());
        return BatchRun::Completed;
    }
    if (parser.isSet(version)) {
        print(stdout, versionText());
        return BatchRun::Completed;
    }
    if (parser.isSet(batch) == parser.isSet(list))
        return usageError(tr("give either --batch or --list"));
    if (parser.isSet(list) && (parser.isSet(input) || parser.isSet(output) || parser.isSet(noVerify)))
        return usageError(tr("--in, --out and --no-verify go with --batch"));
    if (parser.isSet(batch) && (parser.value(input).isEmpty() || parser.value(output).isEmpty()))
        return usageError(tr("--batch needs --in PORT and --out PORT"));

    BatchOutput out(parser.isSet(json) ? BatchOutput::Json : BatchOutput::Text, stdout, stderr);
    MainWindow window;
    if (parser.isSet(list)) {
        window.init();
        if (!PortWatcher::midiSystemRunning())
            print(stderr,
                tr("No MIDI system is running: load the ALSA sequencer (kernel module snd-seq) or start a "
                   "JACK server.\n"));
        out.portList(listedPorts(window.MidiInList, true), listedPorts(window.MidiOutList, false));
        return BatchRun::Completed;
    }
    struct sigaction action = {};
    action.sa_handler = requestInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    window.VerifyCheckBox->setChecked(!parser.isSet(noVerify));
    return BatchRun(window, out).run(parser.value(input), parser.value(output), interruptRequested);
}

} // namespace CommandLine
