#pragma once

#include "UpdateEngine.h"
#include "ui_MainWindow.h"

#include <QMainWindow>

class QTimer;

// The one window of the program: its form, the port lists and the controls. The update engine it owns
// does the work; the window shows what the engine's signals say and gives the engine its 100 ms tick.
class MainWindow : public QMainWindow, public Ui_MainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void init();
    void refreshControls();
    void showDeviceInfo(const QString &serial, const QString &version);
    void showProgress();
    // The log's first line: the version, the image's size and SHA-256 and the reset code's origin.
    void logBuildIdentity();

public slots:
    void Connect();
    void Transfer();
    void close1();
    void update();

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void showEngine();
    void appendLog(const QString &text);
    // Port lists and connection hints (app/PortLists.cpp).
    void followPorts();
    void listPorts();
    void relist(QListWidget *list, UpdateEngine::DeviceNameQuery deviceName, bool &chosen);
    void explainFailedConnect();

public:
    UpdateEngine engine;
    QTimer *timer = nullptr;
    int selectedInputRow = 0;
    int selectedOutputRow = 0;
    // Whether the user picked the current row of a list; a unit that appears does not override it.
    bool inputChosen = false;
    bool outputChosen = false;
    // The connection as the controls show it, following the engine's word.
    int connectionState = Disconnected;
};
