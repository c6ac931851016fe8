#include "MainWindow.h"

#include <QListWidget>
#include <QListWidgetItem>
#include <QStringList>
#include <QTimer>

#include <utility>

// The port lists follow the MIDI system while the window is disconnected, and the window says in its
// log what to do when no port is chosen or no MIDI system runs.

namespace {

// Part of the unit's port names.
const QString UnitName = QStringLiteral("Tavrin");

int firstRowContaining(const QListWidget *list, const QString &text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().contains(text))
            return row;
    }
    return -1;
}

} // namespace

void MainWindow::followPorts()
{
    // Started before the first listing, so that no port that comes meanwhile is missed.
    engine.watchPorts();
    connect(&engine, &UpdateEngine::portsChanged, this, &MainWindow::listPorts);
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
void MainWindow::relist(QListWidget *list, UpdateEngine::DeviceNameQuery deviceName, bool &chosen)
{
    const QString previous = list->currentItem() ? list->currentItem()->text() : QString();
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(engine.portNames(deviceName));

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

void MainWindow::explainFailedConnect()
{
    if (MidiInList->count() == 0 && MidiOutList->count() == 0 && !PortWatcher::midiSystemRunning()) {
        engine.logProgress(
            tr("Cannot connect: no MIDI system is running. Load the ALSA sequencer (kernel module "
               "snd-seq) or start a JACK server; the port lists fill in by themselves."));
        return;
    }
    const QString notChosen = tr("Cannot connect: no port is chosen under \"%1\". Choose the unit there; if "
                                 "it is not listed, check its USB cable and that it is switched on.");
    if (selectedInputRow < 0)
        engine.logProgress(notChosen.arg(groupBox_3->title()));
    if (selectedOutputRow < 0)
        engine.logProgress(notChosen.arg(groupBox_4->title()));
}
