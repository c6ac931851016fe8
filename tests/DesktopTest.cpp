#include "BuildInfo.h"
#include "MainWindow.h"
#include "Startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>
#include <string>

namespace {

const QList<QSize> themeSizes{{16, 16}, {24, 24}, {32, 32}, {48, 48}};

QList<QSize> sortedSizes(const QIcon &icon)
{
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    return sizes;
}

QString desktopId()
{
    return QString::fromLatin1(BuildInfo::DesktopId);
}

// The [Desktop Entry] group's keys and values.
QMap<QString, QString> readDesktopEntry(const QString &path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && !line.startsWith(QLatin1Char('#')))
            entry.insert(line.left(equals), line.mid(equals + 1));
    }
    return entry;
}

// The metainfo as "element" -> text, and "element@attribute" -> value, for the elements that tie it to
// the desktop entry and the build.
std::map<std::string, std::string> readMetainfo(const QString &path)
{
    std::map<std::string, std::string> found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const std::string name = xml.name().toString().toStdString();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (name == "launchable")
            found["launchable@type"] = attributes.value(QLatin1String("type")).toString().toStdString();
        if (name == "release")
            found["release@version"] = attributes.value(QLatin1String("version")).toString().toStdString();
        if (name == "id" || name == "launchable" || name == "binary")
            found[name] = xml.readElementText().toStdString();
    }
    if (xml.hasError())
        found["error"] = xml.errorString().toStdString();
    return found;
}

// ---- The icon ----------------------------------------------------------------------------------------

TEST(DesktopIcon, WindowIconHasTheFourThemeSizes)
{
    Startup::setApplicationIcon();
    EXPECT_EQ(sortedSizes(QApplication::windowIcon()), themeSizes);
}

TEST(DesktopIcon, WindowTakesTheProgramsIcon)
{
    Startup::setApplicationIcon();
    MainWindow window;
    EXPECT_EQ(sortedSizes(window.windowIcon()), themeSizes);
}

// The window shows each size as it is installed into the desktop's theme, never one scaled from another.
// A pixmap holds its pixels premultiplied; taking them back out rounds differently on different processors,
// so both sides are compared in that form, which the conversion into it reaches exactly.
TEST(DesktopIcon, EverySizeIsTheInstalledIconPixelForPixel)
{
    Startup::setApplicationIcon();
    const QIcon icon = QApplication::windowIcon();
    for (const QSize &size : themeSizes) {
        SCOPED_TRACE(size.width());
        const QImage installed = QImage(QStringLiteral(TAVRIN_ICON_DIR "/%1.png").arg(size.width()));
        ASSERT_EQ(installed.size(), size);
        EXPECT_TRUE(installed.hasAlphaChannel());
        EXPECT_EQ(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            installed.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

// ---- Desktop entry and metainfo -----------------------------------------------------------------------

TEST(DesktopEntry, StartsTheInstalledProgramWithTheProgramsIcon)
{
    const QString path = QStringLiteral(TAVRIN_DESKTOP_FILE);
    EXPECT_EQ(QFileInfo(path).fileName(), desktopId() + QStringLiteral(".desktop"));
    const QMap<QString, QString> entry = readDesktopEntry(path);
    const struct
    {
        const char *key;
        QString value;
    } expected[] = {
        {"Type", QStringLiteral("Application")},
        {"Name", QStringLiteral("Tavrin Update")},
        {"Exec", QStringLiteral(TAVRIN_PROGRAM_NAME)},
        {"Icon", desktopId()},
        {"Terminal", QStringLiteral("false")},
    };
    for (const auto &row : expected) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(entry.value(QString::fromLatin1(row.key)), row.value);
    }
}

TEST(DesktopEntry, MetainfoNamesTheEntryTheProgramAndTheBuildsVersion)
{
    const QString path = QStringLiteral(TAVRIN_METAINFO_FILE);
    EXPECT_EQ(QFileInfo(path).fileName(), desktopId() + QStringLiteral(".metainfo.xml"));
    const std::string id = BuildInfo::DesktopId;
    const std::map<std::string, std::string> expected{
        {"id", id},
        {"launchable", id + ".desktop"},
        {"launchable@type", "desktop-id"},
        {"binary", TAVRIN_PROGRAM_NAME},
        {"release@version", BuildInfo::Version},
    };
    EXPECT_EQ(readMetainfo(path), expected);
}

TEST(DesktopEntry, ProgramTellsTheDesktopItsEntryAndVersion)
{
    Startup::prepareApplication();
    EXPECT_EQ(QGuiApplication::desktopFileName(), desktopId());
    EXPECT_EQ(QCoreApplication::applicationVersion(), QString::fromLatin1(BuildInfo::Version));
}

} // namespace
