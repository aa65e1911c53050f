#include <QApplication>
#include <QTimer>

#include "main/app/AppController.h"
#include "main/app/AppDelegate.h"
#include "main/common/Log.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "platform/system/ResourceLimits.h"

int main(int argc, char** argv)
{
    using namespace murmeli;

    // With no display murmeli still serves the agents, so fall back to Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmeli"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Every held permission request keeps a socket open; the default soft limit of 1024 is too tight.
    if (const auto limit = platform::raiseOpenFileLimit(); limit && limit->raised) {
        common::writeToStderr(QStringLiteral("[diag] startup: open file limit %1 -> %2")
                                  .arg(limit->before)
                                  .arg(limit->after),
            common::LogColor::Blue);
    }

    app::AppController controller({ platform::makeSecretStore(), std::make_shared<common::SystemClock>() });
    app::AppDelegate delegate(controller, QCoreApplication::applicationFilePath());
    QTimer::singleShot(0, &application, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
