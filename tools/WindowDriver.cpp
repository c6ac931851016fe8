#include "WindowDriver.h"

#include "DeviceDirectory.h"
#include "JackServerLock.h"
#include "MainWindow.h"
#include "MidiEvent.h"
#include "MidiPort.h"
#include "NandGeometry.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QPixmap>
#include <QThread>
#include <QTimer>

namespace {

constexpr int PollMilliseconds = 10;
constexpr int AnswerMilliseconds = 3000;
constexpr int ListingPollMilliseconds = 200;

bool listed(MidiPort &port, const char16_t *(MidiPort::*deviceName)(unsigned), const QString &name)
{
    for (unsigned i = 0; const char16_t *device = (port.*deviceName)(i); ++i) {
        if (QString::fromUtf16(device).contains(name))
            return true;
    }
    return false;
}

bool selectRow(QListWidget *list, const QString &name)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().contains(name)) {
            list->setCurrentRow(row);
            return true;
        }
    }
    return false;
}

} // namespace

WindowDriver::WindowDriver(MainWindow &window)
    : window(window)
{
    window.installEventFilter(this);
}

WindowDriver::~WindowDriver()
{
    window.removeEventFilter(this);
}

bool WindowDriver::waitForDevice(const QString &name, int milliseconds)
{
    const JackServerLock::Lister lister(DeviceDirectory::clientName() + std::string(" lister"));
    MidiPort port;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (listed(port, &MidiPort::inputDeviceName, name) && listed(port, &MidiPort::outputDeviceName, name))
            return true;
        if (clock.elapsed() > milliseconds)
            return false;
        QThread::msleep(ListingPollMilliseconds);
    }
}

bool WindowDriver::selectPorts(const QString &name)
{
    return selectRow(window.MidiInList, name) && selectRow(window.MidiOutList, name);
}

bool WindowDriver::connectUnit(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    do {
        // The window sends the identify request once; when it goes unanswered, a user presses Disconnect
        // and Connect again.
        if (window.connectionState != Disconnected)
            window.ConnectButton->click();
        window.ConnectButton->click();
        ++connectAttempts;
        if (waitUntil([this] { return window.connectionState == Connected; }, AnswerMilliseconds))
            return true;
    } while (clock.elapsed() < milliseconds);
    return false;
}

WindowDriver::Pass WindowDriver::runUpdate(int quietMilliseconds)
{
    Pass pass;
    if (!window.TransferButton->isEnabled())
        return pass;
    const int retriesBefore = window.engine.retryCount;
    replies = 0;
    QElapsedTimer clock;
    clock.start();
    window.TransferButton->click();
    // Update locks both buttons; the unit's idle report after the finish, or a stop, gives them back.
    pass.ended = waitUntil([this] { return window.ConnectButton->isEnabled(); }, quietMilliseconds);
    pass.milliseconds = clock.elapsed();
    pass.replies = replies;
    pass.retries = window.engine.retryCount - retriesBefore;
    // Only a finish that the unit confirmed completes the update.
    pass.completed = pass.ended && window.engine.passFinished;
    if (pass.completed)
        pass.imagePages = window.engine.dataBlockIndex * Nand::PagesPerBlock + window.engine.pageInBlock + 1;
    return pass;
}

QString WindowDriver::serialShown() const
{
    return window.SnEdit->text();
}

QString WindowDriver::versionShown() const
{
    return window.VersionEdit->text();
}

bool WindowDriver::saveScreenshot(const QString &path) const
{
    return window.grab().save(path, "PNG");
}

bool WindowDriver::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &window && event->type() == MidiEvent::MidiEventType)
        ++replies;
    return false;
}

bool WindowDriver::waitUntil(const std::function<bool()> &done, int quietMilliseconds)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer quiet;
    quiet.start();
    int repliesSeen = replies;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (replies != repliesSeen) {
            repliesSeen = replies;
            quiet.restart();
        }
        if (done() || quiet.elapsed() > quietMilliseconds)
            loop.quit();
    });
    poll.start(PollMilliseconds);
    loop.exec();
    return done();
}
