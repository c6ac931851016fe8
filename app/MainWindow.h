#pragma once

#include "DeviceLink.h"
#include "ui_MainWindow.h"

#include <QByteArray>
#include <QMainWindow>

#include <array>
#include <cstdint>

class QTimer;

enum ConnectionState : int { Disconnected = 0, Connecting = 1, Connected = 2 };

enum UpdatePhase : int {
    Idle = 0,
    BblScan = 1,
    BblRead = 2,
    DefectListRead = 3,
    BlockErase = 4,
    BblBlockErase = 5,
    DataPageStart = 6,
    DataPageSend = 7,
    DataPageProgram = 8,
    NextBblStart = 9,
    NextBblSend = 10,
    NextBblProgram = 11,
    FirstBblStart = 12,
    FirstBblSend = 13,
    FirstBblProgram = 14,
};

// The one window of the program. It holds all program state: the widgets, the connection, the update
// engine (its members live in engine/, one file per concern) and the link to the unit.
class MainWindow : public QMainWindow, public Ui_MainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void init();
    void refreshControls();
    void showDeviceInfo();
    void showProgress();

public slots:
    void Connect();
    void Transfer();
    void close1();
    void update();

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

public:
    DeviceLink link;
    QTimer *timer = nullptr;
    int selectedInputRow = 0;
    int selectedOutputRow = 0;

    // Update engine state; every pass sets each field before it reads it.
    int connectionState = Disconnected;
    int phase = Idle;
    int timeoutTicks = 0;
    int retryCount = 0;
    int pieceIndex = 0;
    std::int16_t currentBlock = 0;
    std::int16_t dataBlockIndex = 0;
    std::int8_t pageInBlock = 0;
    std::int8_t bblPage = 0;
    std::array<std::uint8_t, 1024> badBlocks{};
    std::array<std::uint8_t, 2096> pageFrame{};
    bool newBadBlocks = false;
    std::int16_t factoryDefects = 0;
    QByteArray imageData;
    int imageSize = 0;
    bool imageDone = false;
};
