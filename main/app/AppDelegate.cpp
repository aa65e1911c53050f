#include "main/app/AppDelegate.h"

#include "main/app/AppController.h"
#include "main/common/Log.h"

namespace murmeli::app {

AppDelegate::AppDelegate(AppController& controller, QString binaryPath)
    : m_controller(controller)
    , m_binaryPath(std::move(binaryPath))
{
}

void AppDelegate::applicationDidFinishLaunching()
{
    // Until the activity log window exists, standard error is the log.
    m_controller.onLog = [](const QString& message, common::LogColor color) { common::writeToStderr(message, color); };
    common::writeToStderr(QStringLiteral("murmeli ready"), common::LogColor::Green);
    m_controller.startBackend(m_binaryPath);
}

} // namespace murmeli::app
