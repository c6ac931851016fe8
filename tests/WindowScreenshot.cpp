// Renders the window part-way through a real update of the simulated unit and saves it as a PNG that
// records the SHA-256 of the form it shows, so that a test can tell when the form changed since.
// tavrin-sim must be listed; scripts/screenshot-window.sh starts it.
//   window_screenshot OUTPUT.png FORM_SHA256 [de]

#include "MainWindow.h"
#include "Startup.h"
#include "WindowDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTranslator>

#include <cstdio>

namespace {

const QString UnitPorts = QStringLiteral("Tavrin (simulated)");
constexpr int DeviceWaitMilliseconds = 15000;
constexpr int ConnectMilliseconds = 10000;
constexpr int PassMilliseconds = 120000;
// A quarter of the embedded image, some blocks written and read back.
constexpr int PagesBeforeTheGrab = 480;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png FORM_SHA256 [de]\n", argv[0]);
        return 2;
    }
    QTranslator program;
    QTranslator framework;
    Startup::scaleWithTheScreen();
    Startup::prepareApplication();
    QApplication application(argc, argv);
    Startup::fitFontToForm();
    if (QApplication::arguments().mid(3).contains(QStringLiteral("de"))) {
        static_cast<void>(program.load(QStringLiteral(":/Charts/update_de")));
        static_cast<void>(framework.load(QStringLiteral(":/Charts/qt_de")));
        QCoreApplication::installTranslator(&program);
        QCoreApplication::installTranslator(&framework);
    }

    if (!WindowDriver::waitForDevice(UnitPorts, DeviceWaitMilliseconds)) {
        std::fprintf(stderr, "the simulated unit is not listed\n");
        return 1;
    }
    MainWindow window;
    window.logBuildIdentity();
    Startup::showWindow(window);
    WindowDriver driver(window);
    if (!driver.selectPorts(UnitPorts) || !driver.connectUnit(ConnectMilliseconds)) {
        std::fprintf(stderr, "the simulated unit did not answer Connect\n");
        return 1;
    }
    // The unit answers one request at a time and each turn of the loop takes what came, so the window
    // stops at the same reply on every run.
    window.TransferButton->click();
    QElapsedTimer clock;
    clock.start();
    while (window.engine.imagePagesWritten() < PagesBeforeTheGrab) {
        if (clock.elapsed() > PassMilliseconds) {
            std::fprintf(stderr, "the update did not get that far\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // Scrolled to its start, as a person reading the log's first line would.
    window.LogText->verticalScrollBar()->setValue(0);
    QImage picture = window.grab().toImage();
    picture.setText(QStringLiteral("MainWindow.ui SHA-256"), QString::fromLatin1(argv[2]));
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
