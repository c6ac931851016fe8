#pragma once

#include <QObject>
#include <QString>

#include <functional>

class MainWindow;

// Works the real window as a user would: picks the unit's ports by name, presses Connect, waits for
// the unit's answer, presses Update and waits for the end of the pass. Used by the run command's
// headless update and by the end-to-end tests.
class WindowDriver : public QObject
{
public:
    explicit WindowDriver(MainWindow &window);
    ~WindowDriver() override;

    // Waits until a device whose name contains `name` is listed both as input and as output. The
    // window lists the devices once, at start-up, so this comes before the window is initialised.
    static bool waitForDevice(const QString &name, int milliseconds);

    // Makes the first rows whose names contain `name` the current rows of both port lists.
    bool selectPorts(const QString &name);

    // Presses Connect and waits for the unit to identify itself, pressing Disconnect and Connect again
    // while it does not.
    bool connectUnit(int milliseconds);
    int connectAttempts = 0;

    struct Pass
    {
        bool ended = false; // the controls came back: the unit went idle or the pass stopped
        bool completed = false; // ended with the finish after the image's final page
        qint64 milliseconds = 0;
        int replies = 0;
        int retries = 0;
        int imagePages = 0;
    };

    // Presses Update and waits until the controls come back, or until no reply has come for
    // `quietMilliseconds`: a slow machine stretches a pass, but the replies keep coming.
    Pass runUpdate(int quietMilliseconds);

    QString serialShown() const;
    QString versionShown() const;

    bool saveScreenshot(const QString &path) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Runs the event loop until `done` holds or no reply has come for `quietMilliseconds`; returns `done()`.
    bool waitUntil(const std::function<bool()> &done, int quietMilliseconds);

    MainWindow &window;
    int replies = 0;
};
