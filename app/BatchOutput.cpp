#include "BatchOutput.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantMap>

#include <cmath>
#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr int SecondsPerMinute = 60;

QString tr(const char *text)
{
    return QCoreApplication::translate("BatchOutput", text);
}

double tenths(double value)
{
    return std::round(value * 10) / 10;
}

} // namespace

BatchOutput::BatchOutput(Format format, std::FILE *out, std::FILE *err, bool verbose)
    : format(format)
    , out(out)
    , err(err)
    , terminal(format == Text && isatty(fileno(err)))
    , verbose(verbose)
{
}

void BatchOutput::ports(const QString &input, const QString &output)
{
    if (format == Json)
        json("ports", {{QStringLiteral("in"), input}, {QStringLiteral("out"), output}});
    else
        line(out, tr("Ports: input \"%1\", output \"%2\"").arg(input, output));
}

void BatchOutput::connected(const QString &serial, const QString &version)
{
    if (format == Json)
        json("connected", {{QStringLiteral("serial"), serial}, {QStringLiteral("version"), version}});
    else
        line(out, tr("Connected: serial %1, version %2").arg(serial, version));
}

void BatchOutput::progress(const BatchProgress &progress)
{
    if (format == Json) {
        json("progress",
            {{QStringLiteral("pages"), progress.pages}, {QStringLiteral("read_back"), progress.pagesReadBack},
                {QStringLiteral("total"), progress.totalPages}, {QStringLiteral("phase"), progress.phase},
                {QStringLiteral("block"), progress.block}});
        return;
    }
    if (!terminal)
        return;
    const int work = progress.verifying ? 2 * progress.totalPages : progress.totalPages;
    const int percent = work > 0 ? (progress.pages + progress.pagesReadBack) * 100 / work : 0;
    const int filled = percent * BarWidth / 100;
    QString left = QStringLiteral("-:--");
    if (progress.secondsLeft >= 0) {
        const int seconds = int(std::lround(progress.secondsLeft));
        left = QStringLiteral("%1:%2")
                   .arg(seconds / SecondsPerMinute)
                   .arg(seconds % SecondsPerMinute, 2, 10, QLatin1Char('0'));
    }
    const QString readBack
        = progress.verifying ? tr(", %1 read back").arg(progress.pagesReadBack) : QString();
    const QString bar
        = tr("%1% [%2] %3/%4 pages written%5, %6 KiB/s, %7 left")
              .arg(percent, 3)
              .arg(QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('.')))
              .arg(progress.pages)
              .arg(progress.totalPages)
              .arg(readBack)
              .arg(progress.kibPerSecond, 0, 'f', 0)
              .arg(left);
    // Redrawn in place: back to the line's start, the bar, the rest of the old one cleared.
    std::fprintf(err, "\r%s\033[K", bar.toLocal8Bit().constData());
    std::fflush(err);
    barShown = true;
}

void BatchOutput::log(const QString &text, bool perPage)
{
    if (format == Json)
        json("log", {{QStringLiteral("text"), text}});
    else if (verbose || !perPage)
        line(out, text.trimmed());
}

void BatchOutput::result(const BatchResult &result)
{
    const PassFigures &f = result.figures;
    if (format == Json) {
        QVariantMap fields{{QStringLiteral("ok"), result.error.isEmpty()},
            {QStringLiteral("exit_status"), result.exitStatus}, {QStringLiteral("pages"), f.pages},
            {QStringLiteral("blocks"), f.blocks}, {QStringLiteral("new_bad_blocks"), f.newBadBlocks},
            {QStringLiteral("retries"), f.retries}, {QStringLiteral("seconds"), tenths(f.seconds)},
            {QStringLiteral("kib_per_second"), tenths(f.kibPerSecond)},
            {QStringLiteral("verified"), f.verified}};
        if (!result.error.isEmpty())
            fields.insert(QStringLiteral("error"), result.error);
        json("result", fields);
        return;
    }
    if (result.error.isEmpty())
        line(out,
            tr("Update complete: the unit confirmed the finish of %1 pages in %2 blocks (%3 new bad "
               "blocks, %4 retries, %5 s, %6 KiB/s).")
                .arg(f.pages)
                .arg(f.blocks)
                .arg(f.newBadBlocks)
                .arg(f.retries)
                .arg(f.seconds, 0, 'f', 1)
                .arg(f.kibPerSecond, 0, 'f', 0));
    else if (result.errorLogged)
        line(out, tr("Update FAILED."));
    else
        line(result.exitStatus == 2 ? err : out, tr("Update FAILED: %1").arg(result.error));
}

void BatchOutput::portList(const QList<ListedPort> &inputs, const QList<ListedPort> &outputs)
{
    for (const auto &[direction, ports] :
        {std::pair(QStringLiteral("in"), inputs), std::pair(QStringLiteral("out"), outputs)}) {
        for (const ListedPort &port : ports) {
            if (format == Json)
                json("port",
                    {{QStringLiteral("direction"), direction}, {QStringLiteral("system"), port.system},
                        {QStringLiteral("address"), port.address}, {QStringLiteral("name"), port.name}});
            else
                line(out,
                    QStringList{direction, port.system, port.address, port.name}.join(QLatin1Char('\t')));
        }
    }
}

void BatchOutput::json(const char *event, QVariantMap fields)
{
    fields.insert(QStringLiteral("event"), QString::fromLatin1(event));
    const QByteArray text = QJsonDocument(QJsonObject::fromVariantMap(fields)).toJson(QJsonDocument::Compact);
    // Each line as soon as it is complete, for a reader that follows the run.
    std::fprintf(out, "%s\n", text.constData());
    std::fflush(out);
}

void BatchOutput::line(std::FILE *stream, const QString &text)
{
    clearBar();
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

void BatchOutput::clearBar()
{
    if (!barShown)
        return;
    std::fprintf(err, "\r\033[K");
    barShown = false;
}
