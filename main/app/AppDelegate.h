#pragma once

#include <QString>
#include <QTimer>

namespace murmeli::app {

class AppController;

/// Process lifecycle: wires the controller's log sink and starts the back end once launching is done.
class AppDelegate final {
public:
    AppDelegate(AppController& controller, QString binaryPath);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();

private:
    AppController& m_controller;
    QString m_binaryPath;
    QTimer m_sessionPoll;
    QTimer m_syncSoon;
};

} // namespace murmeli::app
