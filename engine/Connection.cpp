#include "MidiPort.h"
#include "NandGeometry.h"
#include "UpdateEngine.h"

#include <QStringList>
#include <QTimer>

// The connection to the unit: opening the ports, the wait for its identity, and what the port watcher
// says about ports that go away.

namespace {

constexpr int IdentifyWaitMilliseconds = 3000;
constexpr int IdentifyResendMilliseconds = 500;
constexpr unsigned MaxListedDevices = 100;

} // namespace

UpdateEngine::UpdateEngine()
    : imageIsPlaceholder(TAVRIN_IMAGE_IS_PLACEHOLDER)
{
    link.port.setReceiver(this);
    timeoutTicks = Engine::TimeoutTicks;
    identifyWait = new QTimer(this);
    identifyWait->setSingleShot(true);
    identifyWait->setInterval(IdentifyWaitMilliseconds);
    connect(identifyWait, &QTimer::timeout, this, [this] { reportSilentUnit(); });
    identifyResend = new QTimer(this);
    identifyResend->setInterval(IdentifyResendMilliseconds);
    connect(identifyResend, &QTimer::timeout, this, [this] { resendIdentify(); });
}

QStringList UpdateEngine::portNames(DeviceNameQuery query)
{
    QStringList names;
    for (unsigned index = 0; index < MaxListedDevices; ++index) {
        const char16_t *name = (link.port.*query)(index);
        if (!name)
            break;
        names << QString::fromUtf16(name);
    }
    return names;
}

// The link goes before the timers, and closes both MIDI ports.
UpdateEngine::~UpdateEngine() = default;

bool UpdateEngine::connectUnit(int inputRow, int outputRow)
{
    if (!link.openPorts(inputRow, outputRow)) {
        // A row not chosen is the face's to explain.
        if (inputRow >= 0 && outputRow >= 0)
            logProgress(tr("Cannot connect: the chosen ports could not be opened; the unit may have been "
                           "unplugged. Check that it is still listed, then press Connect again."));
        return false;
    }
    inputName = portNames(&MidiPort::inputDeviceName).value(inputRow);
    outputName = portNames(&MidiPort::outputDeviceName).value(outputRow);
    connectionState = Connecting;
    unitGoneReported = false;
    link.sendIdentify();
    identifyWait->start();
    identifyResend->start();
    return true;
}

void UpdateEngine::disconnectUnit()
{
    link.port.close();
    connectionState = Disconnected;
}

// A message sent right after the ports connect can be lost (PipeWire links them a moment later); the
// identify request changes nothing on the unit, so it goes again until the unit answers or the wait ends.
void UpdateEngine::resendIdentify()
{
    if (connectionState == Connecting && identifyWait->isActive())
        link.sendIdentify();
    else
        identifyResend->stop();
}

void UpdateEngine::reportSilentUnit()
{
    if (connectionState != Connecting)
        return;
    const int seconds = identifyWait->interval() / 1000;
    logProgress(tr("No answer from the unit within %1 s. Check that \"%2\" and \"%3\" are the same unit, its "
                   "cable and its power, then press Disconnect and Connect.")
                    .arg(seconds)
                    .arg(tr("MIDI IN port"), tr("MIDI OUT port")));
    emit unitSilent(seconds);
}

void UpdateEngine::watchPorts()
{
    portWatcher.start(this);
}

void UpdateEngine::customEvent(QEvent *e)
{
    if (e->type() == PortWatcher::JackServerStopped) {
        onJackServerStopped();
    } else if (e->type() == PortWatcher::PortsChanged) {
        portWatcher.changesSeen();
        if (connectionState == Disconnected)
            emit portsChanged();
        else
            reportVanishedUnit();
    }
}

void UpdateEngine::reportVanishedUnit()
{
    if (unitGoneReported)
        return;
    if (portNames(&MidiPort::inputDeviceName).contains(inputName)
        && portNames(&MidiPort::outputDeviceName).contains(outputName))
        return;
    unitGoneReported = true;
    logProgress(tr("The unit's MIDI ports have gone. Check its cable and power, press Disconnect, and "
                   "Connect again once the unit is listed."));
}

void UpdateEngine::onJackServerStopped()
{
    const bool connectionLost = connectionState != Disconnected && link.port.usesJack();
    // Also a side left open by a failed connect: no client of the stopped server may outlive the hold.
    if (link.port.usesJack())
        link.port.close();
    PortWatcher::jackClientsClosed();
    if (!connectionLost) {
        logProgress(tr("The JACK server has stopped; its MIDI ports are no longer listed."));
        return;
    }
    // The update ends here instead of waiting for replies that cannot come.
    connectionState = Disconnected;
    stopPass(tr("The JACK server has stopped and the connection to the unit with it; the unit is not at "
                "fault. Start the JACK server again, then press Connect; Update starts the whole update "
                "again."));
    emit portsChanged();
}
