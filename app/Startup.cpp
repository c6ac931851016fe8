#include "Startup.h"

#include "MainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QSettings>
#include <QString>
#include <QTranslator>

namespace Startup {

namespace {
constexpr int GermanLanguage = 1;
constexpr qreal FormPointSize = 8.0;
} // namespace

void prepareApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrava"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kestrava.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin_update"));
    QApplication::setStyle(QStringLiteral("plastique"));
}

void fitFontToForm()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > FormPointSize) {
        font.setPointSizeF(FormPointSize);
        QApplication::setFont(font);
    }
}

bool installTranslators(const QSettings &settings, QTranslator &program, QTranslator &framework)
{
    if (settings.value(QStringLiteral("language"), QStringLiteral("0")).toInt() != GermanLanguage)
        return false;
    // A catalogue that does not load is installed all the same; it is empty and translates nothing.
    static_cast<void>(program.load(QStringLiteral(":/Charts/update_de")));
    static_cast<void>(framework.load(QStringLiteral(":/Charts/qt_de")));
    QCoreApplication::installTranslator(&program);
    QCoreApplication::installTranslator(&framework);
    return true;
}

void showWindow(MainWindow &window)
{
    window.show();
    window.setFixedSize(WindowWidth, WindowHeight);
    window.init();
}

} // namespace Startup
