#include "CommandLine.h"

#include "BatchOutput.h"
#include "BatchRun.h"
#include "BuildInfo.h"
#include "Startup.h"
#include "UpdateEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#include <algorithm>
#include <iterator>

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

// Qt's own options for a window, with a value and without; alone they start the window as before.
const char *const WindowOptionsWithValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
    "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-session", "-style", "-stylesheet", "-display",
    "-geometry", "-title", "-name", "-qmljsdebugger"};
const char *const WindowFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
constexpr int HelpColumn = 14;

template <std::size_t N> bool among(const char *argument, const char *const (&names)[N])
{
    return std::any_of(std::begin(names), std::end(names), [&](const char *name) {
        const std::size_t length = std::strlen(name);
        return std::strncmp(argument, name, length) == 0
            && (argument[length] == 0 || argument[length] == '=');
    });
}

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

QString usage()
{
    return tr("Usage: tavrin-update                  open the window\n"
              "       tavrin-update --batch --in PORT --out PORT [--no-verify] [--verbose] [--json]\n"
              "       tavrin-update --list [--json]\n"
              "       tavrin-update --help | --version\n"
              "\n"
              "Writes the NAND image built into it into a Tavrin unit over MIDI: in its window, or with\n"
              "--batch as one complete update without one. PORT is a listed port's exact name, or a part of\n"
              "one (any case) that fits only that port.\n");
}

QString examples()
{
    return tr("\nExamples:\n"
              "  tavrin-update --list\n"
              "  tavrin-update --batch --in Tavrin --out Tavrin\n"
              "  tavrin-update --batch --in Tavrin --out Tavrin --json >update.jsonl\n");
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

QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

struct OptionGroup
{
    QString title;
    QList<QCommandLineOption> options;
};

// The options under their headings, each as "-h, --help VALUE" and its description.
QString optionText(const QList<OptionGroup> &groups)
{
    QString text;
    for (const OptionGroup &group : groups) {
        text += QLatin1Char('\n') + group.title + QLatin1Char('\n');
        for (const QCommandLineOption &option : group.options) {
            QStringList names;
            for (const QString &name : option.names())
                names << dashed(name);
            QString left = names.join(QStringLiteral(", "));
            if (!option.valueName().isEmpty())
                left += QLatin1Char(' ') + option.valueName();
            text += QStringLiteral("  %1  %2\n").arg(left, -HelpColumn).arg(option.description());
        }
    }
    return text;
}

// What the parser refused, worded as tavrin-sim words it.
QString parseProblem(const QCommandLineParser &parser, const QList<OptionGroup> &groups)
{
    if (!parser.unknownOptionNames().isEmpty())
        return tr("unknown option %1").arg(dashed(parser.unknownOptionNames().first()));
    // Otherwise an option that takes a value came last, or a switch was given one (--batch=x).
    const QString last = QCoreApplication::arguments().last();
    for (const OptionGroup &group : groups) {
        for (const QCommandLineOption &option : group.options) {
            if (!option.valueName().isEmpty() && option.names().contains(last.mid(2)))
                return tr("%1 needs a value").arg(last);
            for (const QString &argument : QCoreApplication::arguments()) {
                if (option.valueName().isEmpty()
                    && argument.startsWith(dashed(option.names().last()) + QLatin1Char('=')))
                    return tr("%1 takes no value").arg(dashed(option.names().last()));
            }
        }
    }
    return parser.errorText();
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
        + (TAVRIN_IMAGE_IS_PLACEHOLDER
                ? tr("The image is a generated placeholder: it updates only the simulated unit (tavrin-sim), "
                     "never a real one.\n")
                : QString())
        + tr("Reset code: %1\n").arg(code);
}

// Name n is device n.
QList<BatchOutput::ListedPort> listedPorts(const QStringList &names, bool input)
{
    QList<BatchOutput::ListedPort> ports;
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
        if (among(argv[i], WindowOptionsWithValue)) {
            if (!std::strchr(argv[i], '='))
                ++i;
        } else if (!among(argv[i], WindowFlags)) {
            return true;
        }
    }
    return false;
}

int run(int argc, char *argv[])
{
    // No window is ever shown here, so no display and no GUI at all are needed; the settings are only read.
    Startup::nameApplication();
    QCoreApplication application(argc, argv);
    QTranslator programTranslator;
    QTranslator frameworkTranslator;
    const QSettings settings;
    Startup::installTranslators(settings, QLocale::system(), programTranslator, frameworkTranslator);

    QCommandLineParser parser;
    const QCommandLineOption batch(QStringLiteral("batch"), tr("Run one complete update and exit."));
    const QCommandLineOption input(
        QStringLiteral("in"), tr("The MIDI input that the unit answers on."), QStringLiteral("PORT"));
    const QCommandLineOption output(
        QStringLiteral("out"), tr("The MIDI output that reaches the unit."), QStringLiteral("PORT"));
    const QCommandLineOption json(
        QStringLiteral("json"), tr("Print JSON Lines on stdout, one event per line."));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
        tr("Write without reading each block back (a verified update takes about twice as long)."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"), tr("Print every log line, also the one for each page written."));
    const QCommandLineOption list(
        QStringLiteral("list"), tr("List the MIDI inputs and outputs on offer and exit."));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")}, tr("Show this text and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
        tr("Show the version, the built-in image's size and checksum and the reset code, and exit."));
    const QList<OptionGroup> groups = {{tr("Batch update:"), {batch, input, output, noVerify, verbose}},
        {tr("Ports:"), {list}}, {tr("Output:"), {json}}, {tr("Information:"), {help, version}}};
    for (const OptionGroup &group : groups)
        parser.addOptions(group.options);

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parseProblem(parser, groups));
    if (!parser.positionalArguments().isEmpty())
        return usageError(tr("unexpected argument %1").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        print(stdout, usage() + optionText(groups) + examples() + exitStatuses());
        return BatchRun::Completed;
    }
    if (parser.isSet(version)) {
        print(stdout, versionText());
        return BatchRun::Completed;
    }
    if (parser.isSet(batch) == parser.isSet(list))
        return usageError(tr("give either --batch or --list"));
    if (parser.isSet(list)
        && (parser.isSet(input) || parser.isSet(output) || parser.isSet(noVerify) || parser.isSet(verbose)))
        return usageError(tr("--in, --out, --no-verify and --verbose go with --batch"));
    if (parser.isSet(batch) && (parser.value(input).isEmpty() || parser.value(output).isEmpty()))
        return usageError(tr("--batch needs --in PORT and --out PORT"));

    BatchOutput out(
        parser.isSet(json) ? BatchOutput::Json : BatchOutput::Text, stdout, stderr, parser.isSet(verbose));
    UpdateEngine engine;
    if (parser.isSet(list)) {
        if (!PortWatcher::midiSystemRunning())
            print(stderr,
                tr("No MIDI system is running: load the ALSA sequencer (kernel module snd-seq) or start a "
                   "JACK server.\n"));
        out.portList(listedPorts(engine.portNames(&MidiPort::inputDeviceName), true),
            listedPorts(engine.portNames(&MidiPort::outputDeviceName), false));
        return BatchRun::Completed;
    }
    struct sigaction action = {};
    action.sa_handler = requestInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return BatchRun(engine, out)
        .run(parser.value(input), parser.value(output), !parser.isSet(noVerify), interruptRequested);
}

} // namespace CommandLine
