#include "MainWindow.h"

#include "NandGeometry.h"

#include <QCloseEvent>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QTimer>

namespace {

constexpr int TickMilliseconds = 100;
constexpr int CloseDelayMilliseconds = 500;
constexpr int IdentifyWaitMilliseconds = 3000;
constexpr int IdentifyResendMilliseconds = 500;
constexpr QSize PictureSize(320, 87);
const char *const PicturePath = ":/data/update_screen_tavrin_V2_02.png";

// The version travels as two numbers, major in bits 0 to 7 and minor in bits 8 to 15.
constexpr std::uint32_t VersionPartMask = 0xFF;
constexpr int VersionMinorShift = 8;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , imageIsPlaceholder(TAVRIN_IMAGE_IS_PLACEHOLDER)
{
    setupUi(this);
}

// Members go in reverse order: the image first, then the link, which closes both MIDI ports before
// the widgets and the timer go with the QMainWindow base.
MainWindow::~MainWindow() = default;

void MainWindow::init()
{
    connect(ConnectButton, &QPushButton::clicked, this, &MainWindow::Connect);
    connect(TransferButton, &QPushButton::clicked, this, &MainWindow::Transfer);

    connectionState = Disconnected;
    selectedInputRow = 0;
    selectedOutputRow = 0;
    link.port.setReceiver(this);

    progressBar->hide();
    TryConText->hide();
    TransferButton->setEnabled(false);

    followPorts();

    TransferButton->setText(tr("Update"));
    VerifyCheckBox->setText(tr("Verify after writing"));
    IconLabel->setPixmap(QIcon(QString::fromLatin1(PicturePath)).pixmap(PictureSize));

    phase = Idle;
    timeoutTicks = Engine::TimeoutTicks;
    timer = new QTimer(this);
    // MainWindow::update() hides QWidget's repaint slot of the same name; the tick must reach ours.
    connect(timer, &QTimer::timeout, this, &MainWindow::update);
    timer->start(TickMilliseconds);
    retryCount = 0;

    identifyWait = new QTimer(this);
    identifyWait->setSingleShot(true);
    identifyWait->setInterval(IdentifyWaitMilliseconds);
    connect(identifyWait, &QTimer::timeout, this, &MainWindow::reportSilentUnit);
    identifyResend = new QTimer(this);
    identifyResend->setInterval(IdentifyResendMilliseconds);
    connect(identifyResend, &QTimer::timeout, this, &MainWindow::resendIdentify);
}

void MainWindow::Connect()
{
    if (connectionState == Connecting || connectionState == Connected) {
        link.port.close();
        connectionState = Disconnected;
        // Ports that came or went while connected.
        listPorts();
    } else if (connectionState == Disconnected) {
        selectedInputRow = MidiInList->currentRow();
        selectedOutputRow = MidiOutList->currentRow();
        if (link.openPorts(selectedInputRow, selectedOutputRow)) {
            if (!MidiPort::sameClient(selectedInputRow, selectedOutputRow))
                logProgress(
                    tr("Warning: \"%1\" and \"%2\" belong to different MIDI clients and may not be the "
                       "same unit; requests would then go to one unit while the answers are awaited "
                       "from the other.")
                        .arg(MidiInList->currentItem()->text(), MidiOutList->currentItem()->text()));
            connectionState = Connecting;
            unitGoneReported = false;
            link.sendIdentify();
            identifyWait->start();
            identifyResend->start();
        } else {
            explainFailedConnect();
        }
    }
    refreshControls();
}

// A message sent right after the ports connect can be lost (PipeWire links them a moment later); the
// identify request changes nothing on the unit, so it goes again until the unit answers or the wait ends.
void MainWindow::resendIdentify()
{
    if (connectionState == Connecting && identifyWait->isActive())
        link.sendIdentify();
    else
        identifyResend->stop();
}

void MainWindow::close1()
{
    link.port.close();
    connectionState = Disconnected;
    QTimer::singleShot(CloseDelayMilliseconds, this, &MainWindow::close);
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (!passRunning()) {
        e->accept();
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(this, windowTitle(),
        tr("An update is running. Closing now leaves the unit without a complete image. Close anyway?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        e->accept();
    else
        e->ignore();
}

void MainWindow::refreshControls()
{
    if (connectionState != Disconnected && connectionState != Connecting && connectionState != Connected)
        return;
    const bool disconnected = connectionState == Disconnected;
    TryConText->setVisible(connectionState == Connecting);
    progressBar->hide();
    MidiInList->setEnabled(disconnected);
    MidiOutList->setEnabled(disconnected);
    ConnectButton->setText(disconnected ? tr("Connect") : tr("Disconnect"));
    ConnectButton->setEnabled(true);
    TransferButton->setEnabled(connectionState == Connected);
    VerifyCheckBox->setEnabled(true);
    if (disconnected) {
        SnEdit->setText(QString());
        VersionEdit->setText(QString());
    }
}

void MainWindow::showDeviceInfo()
{
    SnEdit->setText(link.serialText);
    const long major = long(link.versionValue & VersionPartMask);
    const long minor = long((link.versionValue >> VersionMinorShift) & VersionPartMask);
    VersionEdit->setText(QString::asprintf("%ld.%02ld", major, minor));
}

void MainWindow::showProgress()
{
    progressBar->setMinimum(0);
    progressBar->setMaximum(Engine::ProgressMaximum);
    progressBar->setValue(0);
    progressBar->show();
    TransferButton->setEnabled(false);
    ConnectButton->setEnabled(false);
    VerifyCheckBox->setEnabled(false);
}
