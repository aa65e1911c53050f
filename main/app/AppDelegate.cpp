#include "main/app/AppDelegate.h"

#include "main/app/AppController.h"
#include "main/common/Log.h"

namespace murmeli::app {

AppDelegate::AppDelegate(AppController& controller, QString binaryPath)
    : m_controller(controller), m_binaryPath(std::move(binaryPath))
{
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Until the activity log window exists, standard error is the log.
    m_controller.onLog = [](const QString& message, common::LogColor color) { common::writeToStderr(message, color); };
    common::writeToStderr(QStringLiteral("murmeli ready"), common::LogColor::Green);
    // Until the panel takes over, a change and a steady 2 s poll keep the session list current; the poll also
    // drops sessions that went quiet.
    // A burst of events asks for one sync, run once the burst has been handled.
    m_syncSoon.setSingleShot(true);
    m_syncSoon.setInterval(0);
    QObject::connect(&m_syncSoon, &QTimer::timeout, &m_syncSoon, [this] { m_controller.syncSessions(); });
    m_controller.onStatusChange = [this] {
        if (!m_syncSoon.isActive()) {
            m_syncSoon.start();
        }
    };
    m_sessionPoll.setInterval(2000);
    QObject::connect(&m_sessionPoll, &QTimer::timeout, &m_sessionPoll, [this] { m_controller.syncSessions(); });
    m_controller.startBackend(m_binaryPath);
    m_sessionPoll.start();
}

} // namespace murmeli::app
