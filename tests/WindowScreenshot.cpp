// Renders the window as the program shows it, with a unit among the MIDI devices, and saves it as a
// PNG. Further arguments: "de" for the German texts; "connecting", "connected" or "updating" for the
// window in that state instead of the start state.
//   window_screenshot OUTPUT.png [de] [connecting|connected|updating]

#include "InProcessDevice.h"
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <QStringList>
#include <QTest>
#include <QTranslator>

#include <array>
#include <cstdio>

namespace {

const char *const UnitName = "Tavrin MIDI 1";

// Stands for an attached unit: answers the identify request with its serial number and version.
class ListedUnit : public InProcessDevice
{
public:
    using InProcessDevice::InProcessDevice;
    ~ListedUnit() override { detach(); }

    bool answers = false;

protected:
    void receive(const std::uint8_t *, std::size_t) override
    {
        static constexpr std::array<std::uint8_t, 16> deviceInfo = {
            0xF0,
            0x00,
            0x11,
            0x22,
            0x0A,
            0x15,
            0x4D,
            0x0B,
            0x00,
            0x20,
            0x05,
            0x02,
            0x56,
            0x31,
            0x7F,
            0xF7,
        };
        if (answers)
            send(deviceInfo.data(), deviceInfo.size());
    }
};

void selectUnit(QListWidget *list)
{
    const auto items = list->findItems(QString::fromLatin1(UnitName), Qt::MatchExactly);
    if (!items.isEmpty())
        list->setCurrentItem(items.first());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [de] [connecting|connected|updating]\n", argv[0]);
        return 2;
    }
    QTranslator program;
    QTranslator framework;
    Startup::scaleWithTheScreen();
    Startup::prepareApplication();
    QApplication application(argc, argv);
    Startup::fitFontToForm();
    const QStringList options = QApplication::arguments().mid(2);
    if (options.contains(QStringLiteral("de"))) {
        static_cast<void>(program.load(QStringLiteral(":/Charts/update_de")));
        static_cast<void>(framework.load(QStringLiteral(":/Charts/qt_de")));
        QCoreApplication::installTranslator(&program);
        QCoreApplication::installTranslator(&framework);
    }

    ListedUnit unit(UnitName);
    MainWindow window;
    Startup::showWindow(window);
    const bool updating = options.contains(QStringLiteral("updating"));
    const bool connected = updating || options.contains(QStringLiteral("connected"));
    if (connected || options.contains(QStringLiteral("connecting"))) {
        unit.answers = connected;
        selectUnit(window.MidiInList);
        selectUnit(window.MidiOutList);
        window.Connect();
        if (connected && !QTest::qWaitFor([&window] { return window.connectionState == Connected; }, 5000))
            std::fprintf(stderr, "the unit did not answer; grabbing anyway\n");
    }
    if (updating) {
        window.showProgress();
        window.BlockEdit->setText(QStringLiteral("12"));
        window.PageEdit->setText(QStringLiteral("34"));
    }
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "window was not exposed; grabbing anyway\n");
    QTest::qWait(200);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
