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
constexpr QSize PictureSize(320, 87);
const char *const PicturePath = ":/data/update_screen_tavrin_V2_02.png";

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setupUi(this);
    showEngine();
}

// The engine goes before the widgets and the timer, which go with the QMainWindow base; its link
// closes both MIDI ports.
MainWindow::~MainWindow() = default;

void MainWindow::showEngine()
{
    connect(&engine, &UpdateEngine::logLine, this, [this](const QString &text) { appendLog(text); });
    connect(&engine, &UpdateEngine::deviceInfo, this, &MainWindow::showDeviceInfo);
    connect(&engine, &UpdateEngine::passStarted, this, &MainWindow::showProgress);
    connect(&engine, &UpdateEngine::progressValue, progressBar, &QProgressBar::setValue);
    connect(&engine, &UpdateEngine::blockShown, BlockEdit, &QLineEdit::setText);
    connect(&engine, &UpdateEngine::pageShown, this,
        [this](int page) { PageEdit->setText(QString::number(page)); });
    connect(&engine, &UpdateEngine::controlsReleased, this, [this](int state) {
        connectionState = state;
        refreshControls();
    });
}

void MainWindow::appendLog(const QString &text)
{
    // A pass writes about two thousand lines; the cap keeps repeated passes from piling up.
    if (LogText->maximumBlockCount() != Engine::LogLineCap)
        LogText->setMaximumBlockCount(Engine::LogLineCap);
    LogText->appendPlainText(text);
}

void MainWindow::init()
{
    connect(ConnectButton, &QPushButton::clicked, this, &MainWindow::Connect);
    connect(TransferButton, &QPushButton::clicked, this, &MainWindow::Transfer);

    connectionState = Disconnected;
    selectedInputRow = 0;
    selectedOutputRow = 0;

    progressBar->hide();
    TryConText->hide();
    TransferButton->setEnabled(false);

    followPorts();

    TransferButton->setText(tr("Update"));
    VerifyCheckBox->setText(tr("Verify after writing"));
    IconLabel->setPixmap(QIcon(QString::fromLatin1(PicturePath)).pixmap(PictureSize));

    timer = new QTimer(this);
    // MainWindow::update() hides QWidget's repaint slot of the same name; the tick must reach ours.
    connect(timer, &QTimer::timeout, this, &MainWindow::update);
    timer->start(TickMilliseconds);
}

void MainWindow::Connect()
{
    if (connectionState == Connecting || connectionState == Connected) {
        engine.disconnectUnit();
        connectionState = Disconnected;
        // Ports that came or went while connected.
        listPorts();
    } else if (connectionState == Disconnected) {
        selectedInputRow = MidiInList->currentRow();
        selectedOutputRow = MidiOutList->currentRow();
        if (engine.connectUnit(selectedInputRow, selectedOutputRow)) {
            if (!MidiPort::sameClient(selectedInputRow, selectedOutputRow))
                engine.logProgress(
                    tr("Warning: \"%1\" and \"%2\" belong to different MIDI clients and may not be the "
                       "same unit; requests would then go to one unit while the answers are awaited "
                       "from the other.")
                        .arg(MidiInList->currentItem()->text(), MidiOutList->currentItem()->text()));
            connectionState = Connecting;
        } else {
            explainFailedConnect();
        }
    }
    refreshControls();
}

void MainWindow::Transfer()
{
    progressBar->setRange(0, Engine::ProgressMaximum);
    progressBar->setValue(0);
    TransferButton->setEnabled(false);
    ConnectButton->setEnabled(false);
    VerifyCheckBox->setEnabled(false);
    engine.startPass(VerifyCheckBox->isChecked());
}

void MainWindow::update()
{
    engine.tick();
}

// The main window level has nothing for this window (no tool bars, status bar or docks); the MIDI
// port's events go to the engine.
bool MainWindow::event(QEvent *e)
{
    return QWidget::event(e); // NOLINT(bugprone-parent-virtual-call)
}

void MainWindow::close1()
{
    engine.disconnectUnit();
    connectionState = Disconnected;
    QTimer::singleShot(CloseDelayMilliseconds, this, &MainWindow::close);
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (!engine.passRunning()) {
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

void MainWindow::showDeviceInfo(const QString &serial, const QString &version)
{
    SnEdit->setText(serial);
    VersionEdit->setText(version);
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
