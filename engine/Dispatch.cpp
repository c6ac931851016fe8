#include "MainWindow.h"
#include "MidiEvent.h"
#include "NandGeometry.h"
#include "ReplyCode.h"

bool MainWindow::event(QEvent *e)
{
    // The main window level has nothing for this window (no tool bars, status bar or docks).
    if (e->type() != MidiEvent::MidiEventType)
        return QWidget::event(e); // NOLINT(bugprone-parent-virtual-call)

    const int code = link.takeInput(static_cast<MidiEvent *>(e)->takeHeader());
    switch (code) {
    case REPLY_DEVICE_INFO:
        if (connectionState == Connecting) {
            connectionState = Connected;
            refreshControls();
            SnEdit->setText(QString());
        }
        showDeviceInfo();
        break;
    case REPLY_MODE_IDLE:
        refreshControls();
        progressBar->hide();
        break;
    case REPLY_MODE_ACTIVE:
        showProgress();
        break;
    case REPLY_DEFECT_DATA:
        onDefectData();
        break;
    case REPLY_FLASH_DATA:
        onFlashData();
        break;
    case REPLY_ERASE_STATUS:
        onEraseStatus();
        break;
    case REPLY_WRITE_READY:
        onWriteReady();
        break;
    case REPLY_DATA_ACK:
        onDataAck();
        break;
    case REPLY_PROGRAM_STATUS:
        onProgramStatus();
        break;
    case REPLY_NAND_READY:
        onNandReady();
        break;
    default:
        break;
    }
    return true;
}

void MainWindow::update()
{
    if (stallTicks > 0 && --stallTicks == 0)
        stopPass(tr("Update stopped: no reply from the unit for 10 s"));
    if (timeoutTicks > 0 && --timeoutTicks == 0)
        retry();
}

void MainWindow::retry()
{
    switch (phase) {
    case BlockErase:
    case DataPageStart:
    case DataPageSend:
    case DataPageProgram:
        ++retryCount;
        phase = BlockErase;
        watchForStall();
        link.sendEraseBlock(currentBlock);
        break;
    default:
        break;
    }
}

void MainWindow::arm()
{
    timeoutTicks = Engine::TimeoutTicks;
    watchForStall();
}

void MainWindow::watchForStall()
{
    stallTicks = Engine::StallTicks;
}

void MainWindow::stopPass(const QString &reason)
{
    stallTicks = 0;
    logProgress(reason);
    refreshControls();
}
