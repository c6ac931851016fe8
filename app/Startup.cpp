#include "Startup.h"

#include "BuildInfo.h"
#include "MainWindow.h"
#include "PlastiqueFrames.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QString>
#include <QStyleFactory>
#include <QTranslator>

namespace Startup {

namespace {
constexpr int GermanLanguage = 1;
constexpr qreal FormPointSize = 8.0;
constexpr int IconSizes[] = {16, 24, 32, 48};
} // namespace

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrava"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kestrava.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin_update"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::Version));
}

void prepareApplication()
{
    nameApplication();
    // Lets the desktop match the window to its entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(BuildInfo::DesktopId));
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // On a scaled screen the picture comes at the screen's pixels (its @2x file) instead of enlarged; Qt 6
    // always does so.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    // Plastique comes as a plugin for Qt 5 only; elsewhere Fusion draws the window, with Plastique's frames.
    QStyle *style = QStyleFactory::create(QStringLiteral("plastique"));
    QApplication::setStyle(style ? style : new PlastiqueFrames);
}

void scaleWithTheScreen()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
}

void fitFontToForm()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > FormPointSize) {
        font.setPointSizeF(FormPointSize);
        QApplication::setFont(font);
    }
}

void setApplicationIcon()
{
    QIcon icon;
    for (int size : IconSizes)
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

bool installTranslators(
    const QSettings &settings, const QLocale &desktop, QTranslator &program, QTranslator &framework)
{
    const QVariant stored = settings.value(QStringLiteral("language"));
    // The desktop's first language for texts (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), not its number format.
    const bool german = stored.isValid()
        ? stored.toInt() == GermanLanguage
        : QLocale(desktop.uiLanguages().value(0)).language() == QLocale::German;
    if (!german)
        return false;
    // A catalogue that does not load is installed all the same; it is empty and translates nothing.
    static_cast<void>(program.load(QStringLiteral(":/Charts/update_de")));
    static_cast<void>(framework.load(QStringLiteral(":/Charts/qt_de")));
    QCoreApplication::installTranslator(&program);
    QCoreApplication::installTranslator(&framework);
    return true;
}

bool verifyAfterWriting(const QSettings &settings)
{
    return settings.value(QStringLiteral("verify"), QStringLiteral("1")).toInt() != 0;
}

void showWindow(MainWindow &window)
{
    window.show();
    window.setFixedSize(WindowWidth, WindowHeight);
    window.init();
    if (qobject_cast<const PlastiqueFrames *>(QApplication::style()))
        window.LogText->appendPlainText(QCoreApplication::translate(
            "MainWindow", "The Plastique style is not available for this Qt: the window uses Fusion."));
}

} // namespace Startup
