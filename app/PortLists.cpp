#include "MainWindow.h"

#include <QListWidget>
#include <QListWidgetItem>
#include <QStringList>
#include <QTimer>

#include <utility>

// The port lists follow the MIDI system while the window is disconnected, and the window says in its
// log what to do when connecting fails or the unit's ports go away.

namespace {

constexpr unsigned MaxListedDevices = 100;
// Part of the unit's port names.
const QString UnitName = QStringLiteral("Tavrin");

using DeviceNameQuery = const char16_t *(MidiPort::*)(unsigned);

// Row n names device n, so a row can be handed to the port as the device index; the listing stops at
// the first index without a device.
QStringList deviceNames(MidiPort &port, DeviceNameQuery deviceName)
{
    QStringList names;
    for (unsigned index = 0; index < MaxListedDevices; ++index) {
        const char16_t *name = (port.*deviceName)(index);
        if (!name)
            break;
        names << QString::fromUtf16(name);
    }
    return names;
}

int firstRowContaining(const QListWidget *list, const QString &text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().contains(text))
            return row;
    }
    return -1;
}

} // namespace

void MainWindow::customEvent(QEvent *e)
{
    if (e->type() == PortWatcher::JackServerStopped) {
        onJackServerStopped();
    } else if (e->type() == PortWatcher::PortsChanged) {
        portWatcher.changesSeen();
        if (connectionState == Disconnected)
            listPorts();
        else
            reportVanishedUnit();
    }
}

void MainWindow::followPorts()
{
    // Started before the first listing, so that no port that comes meanwhile is missed.
    portWatcher.start(this);
    listPorts();
    // A press on the current row is a choice too, though it changes no row.
    for (auto [list, chosen] : {std::pair(MidiInList, &inputChosen), std::pair(MidiOutList, &outputChosen)}) {
        connect(list, &QListWidget::currentRowChanged, this, [chosen = chosen] { *chosen = true; });
        connect(list, &QListWidget::itemPressed, this, [chosen = chosen] { *chosen = true; });
    }
}

void MainWindow::listPorts()
{
    relist(MidiInList, &MidiPort::inputDeviceName, inputChosen);
    relist(MidiOutList, &MidiPort::outputDeviceName, outputChosen);
}

// The current row stays on the same port, by its full name (which holds its ALSA address or JACK client).
// A unit's port is made current unless the user has chosen another port; with neither, the first row is
// current, as at start. A unit's port that has gone is never replaced by another unit's: that may be its
// twin, so no row is current then.
void MainWindow::relist(QListWidget *list, DeviceNameQuery deviceName, bool &chosen)
{
    const QString previous = list->currentItem() ? list->currentItem()->text() : QString();
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(deviceNames(link.port, deviceName));

    const QList<QListWidgetItem *> same = list->findItems(previous, Qt::MatchExactly);
    const int kept = previous.isEmpty() || same.isEmpty() ? -1 : list->row(same.first());
    const int unit = firstRowContaining(list, UnitName);
    if (kept < 0)
        chosen = false;
    int row = list->count() > 0 ? 0 : -1;
    const bool unitGone = kept < 0 && previous.contains(UnitName);
    if (kept >= 0 && (chosen || unit < 0 || previous.contains(UnitName)))
        row = kept;
    else if (unit >= 0)
        row = unitGone ? -1 : unit;
    list->setCurrentRow(row);
}

void MainWindow::reportVanishedUnit()
{
    if (unitGoneReported)
        return;
    const QListWidgetItem *input = MidiInList->item(selectedInputRow);
    const QListWidgetItem *output = MidiOutList->item(selectedOutputRow);
    if (input && output && deviceNames(link.port, &MidiPort::inputDeviceName).contains(input->text())
        && deviceNames(link.port, &MidiPort::outputDeviceName).contains(output->text()))
        return;
    unitGoneReported = true;
    logProgress(tr("The unit's MIDI ports have gone. Check its cable and power, press Disconnect, and "
                   "Connect again once the unit is listed."));
}

void MainWindow::onJackServerStopped()
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
    listPorts();
}

void MainWindow::explainFailedConnect()
{
    if (MidiInList->count() == 0 && MidiOutList->count() == 0 && !PortWatcher::midiSystemRunning()) {
        logProgress(tr("Cannot connect: no MIDI system is running. Load the ALSA sequencer (kernel module "
                       "snd-seq) or start a JACK server; the port lists fill in by themselves."));
        return;
    }
    const QString notChosen = tr("Cannot connect: no port is chosen under \"%1\". Choose the unit there; if "
                                 "it is not listed, check its USB cable and that it is switched on.");
    if (selectedInputRow < 0)
        logProgress(notChosen.arg(groupBox_3->title()));
    if (selectedOutputRow < 0)
        logProgress(notChosen.arg(groupBox_4->title()));
    if (selectedInputRow >= 0 && selectedOutputRow >= 0)
        logProgress(tr("Cannot connect: the chosen ports could not be opened; the unit may have been "
                       "unplugged. Check that it is still listed, then press Connect again."));
}

void MainWindow::reportSilentUnit()
{
    if (connectionState != Connecting)
        return;
    logProgress(tr("No answer from the unit within %1 s. Check that \"%2\" and \"%3\" are the same unit, its "
                   "cable and its power, then press Disconnect and Connect.")
                    .arg(identifyWait->interval() / 1000)
                    .arg(groupBox_3->title(), groupBox_4->title()));
}
