#include <csignal>
#include <cstring>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include "main/app/AppController.h"
#include "main/app/AppDelegate.h"
#include "main/app/CommandLine.h"
#include "main/common/AppVersion.h"
#include "main/app/shell/InstanceChannel.h"
#include "main/common/NotificationHub.h"
#include "main/app/views/WidgetShellViews.h"
#include "main/common/Log.h"
#include "platform/defaults/Defaults.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "platform/system/ResourceLimits.h"

namespace {

// Qt's own warnings join the log's queue: written straight to standard error they could stall the main thread.
void routeQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    using murmeli::common::LogColor;
    const LogColor color = type == QtDebugMsg || type == QtInfoMsg ? LogColor::Blue
        : type == QtWarningMsg                                     ? LogColor::Orange
                                                                   : LogColor::Red;
    murmeli::common::writeToStderr(QStringLiteral("[qt] ") + message, color);
    if (type == QtFatalMsg) {
        murmeli::common::flushStderr(1000);
    }
}

} // namespace

int main(int argc, char** argv)
{
    using namespace murmeli;

    // The installer's helpers, the device console and `say` run without any display.
    if (argc > 1
        && (std::strcmp(argv[1], "hooks") == 0 || std::strcmp(argv[1], "device") == 0
            || std::strcmp(argv[1], "say") == 0)) {
        QCoreApplication helper(argc, argv);
        return app::runCommandLine(QCoreApplication::arguments()).value_or(64);
    }

    // With no display murmeli still serves the agents, so fall back to Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A reader of standard error that goes away must cost log lines, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(routeQtMessage);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmeli"));
    QApplication::setApplicationVersion(QString::fromLatin1(common::APP_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    // `murmeli settings` opens the settings of the murmeli already running; with none running, murmeli starts and
    // opens them once it has launched.
    const bool openSettings = argc > 1 && std::strcmp(argv[1], "settings") == 0;
    if (openSettings
        && app::InstanceChannel::sendToRunning(
            app::InstanceChannel::standardName(), QString::fromLatin1(app::InstanceChannel::showSettingsRequest))) {
        return 0;
    }

    // Every held permission request keeps a socket open; the default soft limit of 1024 is too tight.
    if (const auto limit = platform::raiseOpenFileLimit(); limit && limit->raised) {
        common::writeToStderr(
            QStringLiteral("[diag] startup: open file limit %1 -> %2").arg(limit->before).arg(limit->after),
            common::LogColor::Blue);
    }

    app::AppController::Dependencies dependencies;
    dependencies.secrets = platform::makeSecretStore();
    dependencies.clock = std::make_shared<common::SystemClock>();
    dependencies.defaults = std::make_shared<platform::Defaults>(platform::Defaults::standardFilePath());
    app::AppController controller(std::move(dependencies));
    app::WidgetShellViews views;
    app::AppDelegate delegate(controller, views, QCoreApplication::applicationFilePath());
    app::InstanceChannel channel;
    channel.onRequest = [&controller](const QString& request) {
        if (request == QLatin1String(app::InstanceChannel::showSettingsRequest)) {
            Q_EMIT controller.notifications().showSettings();
        }
    };
    QTimer::singleShot(0, &application, [&delegate, &channel, openSettings] {
        delegate.applicationDidFinishLaunching();
        if (!channel.listen()) {
            common::writeToStderr(QStringLiteral("[diag] startup: another murmeli already listens on %1")
                                      .arg(app::InstanceChannel::standardName()),
                common::LogColor::Orange);
        }
        if (openSettings) {
            delegate.showSettingsWindow();
        }
    });
    const int status = QApplication::exec();
    common::flushStderr(1000);
    return status;
}
