#include <csignal>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <utility>
#include <variant>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include "main/app/AppController.h"
#include "main/app/AppDelegate.h"
#include "main/app/CommandLine.h"
#include "main/app/shell/EndSignals.h"
#include "main/app/shell/InstanceChannel.h"
#include "main/app/shell/InstanceLock.h"
#include "main/app/views/WidgetShellViews.h"
#include "main/common/AppVersion.h"
#include "main/common/Log.h"
#include "main/common/NotificationHub.h"
#include "main/common/ProcessEnd.h"
#include "platform/defaults/Defaults.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "platform/system/ResourceLimits.h"

namespace {

// What still has to be done for the agents when murmeli must end on the spot; set while the controller lives.
std::function<void()> lastRites;

// When the X server goes away Qt warns and calls exit(1), whose teardown of the libraries would run under murmeli's
// threads, the very end main() avoids. murmeli ends here instead, with the held requests answered first.
[[noreturn]] void endForLostDisplay()
{
    using murmeli::common::LogColor;
    // Only the main thread may touch the controller; the warning comes from its event loop.
    if (lastRites && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        std::exchange(lastRites, nullptr)();
    }
    murmeli::common::writeToStderr(QStringLiteral("murmeli ended: its X server went away"), LogColor::Red);
    murmeli::common::endProcess(1);
}

// Qt's own warnings join the log's queue: written straight to standard error they could stall the main thread.
void routeQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    using murmeli::common::LogColor;
    const LogColor color = type == QtDebugMsg || type == QtInfoMsg ? LogColor::Blue
        : type == QtWarningMsg                                     ? LogColor::Orange
                                                                   : LogColor::Red;
    murmeli::common::writeToStderr(QStringLiteral("[qt] ") + message, color);
    if (type == QtFatalMsg) {
        murmeli::common::flushStderr(murmeli::common::logFlushMs);
    }
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke"))) {
        endForLostDisplay();
    }
}

// Qt makes this folder for a GUI program without a usable XDG_RUNTIME_DIR (started from ssh, `su -` or cron), only to
// look for a sandbox's mark in it, and leaves it behind; the path as Qt builds it.
QString qtFallbackRuntimeFolder()
{
    const passwd* user = ::getpwuid(::geteuid());
    return QDir::tempPath() + QStringLiteral("/runtime-") + (user ? QFile::decodeName(user->pw_name) : QString());
}

// A murmeli that a test starts beside the user's own keeps to a hook port and a status folder of its own, named by the
// variables the agents' hook scripts read too.
struct OwnPlaces {
    std::optional<quint16> hookPort;
    std::optional<QString> statusDirectory;
};

// A value that names no place is refused: the default in its stead would be the user's own port and folder, whose
// sessions' files this murmeli would then clean away, while the hooks given the same value would find nothing.
std::variant<OwnPlaces, QString> ownPlaces()
{
    OwnPlaces places;
    if (const QString port = qEnvironmentVariable("MURMELI_PORT"); !port.isEmpty()) {
        // Digits only, with no leading zero and nothing after them (not even a line break): the hook scripts read the
        // value as it is written, and 010 is eight to them.
        static const QRegularExpression decimal(
            QRegularExpression::anchoredPattern(QStringLiteral("0|[1-9][0-9]{0,4}")));
        if (!decimal.match(port).hasMatch() || port.toUInt() > 65535) {
            return QStringLiteral("MURMELI_PORT=%1 is no port (a number from 1 to 65535, or 0 for any free one)")
                .arg(port);
        }
        places.hookPort = quint16(port.toUInt());
    }
    if (const QString folder = qEnvironmentVariable("MURMELI_STATUS_DIR"); !folder.isEmpty()) {
        if (!QDir::isAbsolutePath(folder)) {
            return QStringLiteral("MURMELI_STATUS_DIR=%1 is no absolute path").arg(folder);
        }
        // Its files would lie among the system's folders, whose clean-up murmeli would then do.
        if (QDir::cleanPath(folder) == QLatin1String("/")) {
            return QStringLiteral("MURMELI_STATUS_DIR=%1 is no folder of its own but the root of the file system")
                .arg(folder);
        }
        places.statusDirectory = QDir::cleanPath(folder);
    }
    return places;
}

void applyOwnPlaces(const OwnPlaces& places, murmeli::app::AppController::Dependencies& dependencies)
{
    if (places.hookPort) {
        dependencies.hookPort = *places.hookPort;
        if (*places.hookPort == 0) {
            murmeli::common::writeToStderr(
                QStringLiteral("[diag] startup: MURMELI_PORT=0: murmeli listens on a port the system picks, which the "
                               "HookServer line names; only hooks given that port reach this murmeli"),
                murmeli::common::LogColor::Orange);
        }
    }
    if (places.statusDirectory) {
        dependencies.statusDirectory = *places.statusDirectory;
        // A folder the user named may be theirs for more than murmeli: its mode is theirs to set.
        dependencies.statusDirectoryNamed = true;
    }
}

} // namespace

// Everything murmeli (or a command-line helper) makes lives in here and is gone when it returns. endSignal is the
// signal murmeli ended on, if one did.
static int run(int argc, char** argv, int& endSignal)
{
    using namespace murmeli;

    // By default each thread that allocates (the hook server's, the pool's, the recogniser's) gets a heap of its own,
    // and what a burst of events or a take leaves in one is seldom handed back: murmeli at rest held 30 to 75 MB more
    // after twenty minutes of a busy day. With two heaps it comes back to where it started after every take.
    mallopt(M_ARENA_MAX, 2);

    // A mistyped command starts nothing: what was wrong and the usage go to standard error, and the status is 64.
    QStringList arguments;
    for (int at = 0; at < argc; ++at) {
        arguments.append(QString::fromLocal8Bit(argv[at]));
    }
    const std::variant<app::Invocation, QString> parsed = app::parseCommandLine(arguments);
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        return app::reportUsageError(*problem);
    }
    const app::Invocation& invocation = std::get<app::Invocation>(parsed);
    // The installer's helpers, the device console, `say`, the usage and the version run without any display.
    if (!app::startsMurmeli(invocation)) {
        QCoreApplication helper(argc, argv);
        return app::runCommandLine(invocation);
    }
    const std::variant<OwnPlaces, QString> places = ownPlaces();
    if (const QString* problem = std::get_if<QString>(&places)) {
        std::fprintf(stderr, "murmeli: %s; not starting.\n", problem->toLocal8Bit().constData());
        return 1;
    }

    // With no display murmeli still serves the agents, so fall back to Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A reader of standard error that goes away must cost log lines, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(routeQtMessage);

    // A second murmeli would fight the first for the port and the screen, clean away its sessions' files and write
    // the settings over its own: it hands its wish to the running one and ends. `murmeli settings` opens the settings
    // there, plain `murmeli` shows it; with none running, murmeli starts (and opens the settings once it has launched).
    // Starts from a desktop, ssh, cron or a service each see other runtime folders, and may see another home or none,
    // so which one runs is settled by one lock per user in a fixed place before anything starts (a start that hands
    // over never even opens the display); the holder names there the socket it listens on.
    const bool openSettings = invocation.command == QLatin1String("settings");
    const QString request = app::handOverRequest(invocation);
    const auto handedOver = [&request] {
        // A session manager's restore ends quietly: nothing was asked of the running one.
        if (request != QLatin1String(app::InstanceChannel::restoreRequest)) {
            std::puts("murmeli is already running; asked it to show its settings window");
        }
        return 0;
    };
    const auto refuse = [](const QString& why) {
        std::fprintf(
            stderr, "murmeli: %s; not starting, so that two never run at once.\n", why.toLocal8Bit().constData());
        return 1;
    };
    QString problem;
    app::InstanceLock lock(app::InstanceLock::standardPath(&problem));
    if (lock.path().isEmpty()) {
        return refuse(QStringLiteral("no folder of your own can hold the instance lock (%1)").arg(problem));
    }
    lock.onWaiting = [](const QString& line) { std::fprintf(stderr, "murmeli: %s\n", line.toLocal8Bit().constData()); };
    switch (lock.claimOrHandOver(request, app::InstanceLock::defaultPatienceMs, &problem)) {
    case app::InstanceLock::Claim::HandedOver:
        return handedOver();
    case app::InstanceLock::Claim::Failed:
        return refuse(problem);
    case app::InstanceLock::Claim::Run:
        break;
    }

    // Qt makes it as the application starts and again whenever a folder or a link is opened: when murmeli ends, one
    // that was not there before it started goes again while it is empty.
    const QString qtRuntimeFolder = qtFallbackRuntimeFolder();
    const auto tidyQtRuntimeFolder = qScopeGuard([qtRuntimeFolder, wasThere = QFileInfo::exists(qtRuntimeFolder)] {
        if (!wasThere) {
            QDir().rmdir(qtRuntimeFolder);
        }
    });
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("murmeli"));
    QApplication::setApplicationVersion(QString::fromLatin1(common::APP_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    // From here a logout, `kill`, Ctrl+C or a closed terminal ends murmeli as its panel's quit does.
    app::EndSignals endSignals;

    // A murmeli that no later start could reach would let that start run beside it, so without a channel none starts.
    QString passedOver;
    const QString channelName = app::InstanceChannel::standardName(&problem, &passedOver);
    if (channelName.isEmpty()) {
        return refuse(QStringLiteral("no socket can be made through which a later start would find this one (%1). Set "
                                     "XDG_RUNTIME_DIR to a folder of your own")
                          .arg(problem));
    }
    if (!passedOver.isEmpty()) {
        common::writeToStderr(
            QStringLiteral("[diag] instance: %1; the control socket is %2 instead").arg(passedOver, channelName),
            common::LogColor::Orange);
    }
    app::InstanceChannel channel(channelName);
    if (!channel.listen(&problem)) {
        // One that holds no lock of ours (another home's) listens there: it is shown, as before the lock.
        if (channel.isTakenByAnother()
            && app::InstanceChannel::sendToRunning(channelName, request) == app::InstanceChannel::HandOver::Taken) {
            return handedOver();
        }
        return refuse(problem);
    }
    if (!lock.announce(channelName)) {
        common::writeToStderr(QStringLiteral("[diag] instance: %1 could not be written; a later start will not find "
                                             "this murmeli and ends after waiting for it")
                                  .arg(lock.path()),
            common::LogColor::Orange);
    }

    // Every held permission request keeps a socket open; the default soft limit of 1024 is too tight.
    if (const auto limit = platform::raiseOpenFileLimit(); limit && limit->raised) {
        common::writeToStderr(
            QStringLiteral("[diag] startup: open file limit %1 -> %2").arg(limit->before).arg(limit->after),
            common::LogColor::Blue);
    }

    app::AppController::Dependencies dependencies;
    dependencies.secrets = platform::makeSecretStore();
    dependencies.hookSecrets = platform::makeHookSecretStore(dependencies.secrets);
    dependencies.clock = std::make_shared<common::SystemClock>();
    dependencies.defaults = std::make_shared<platform::Defaults>(platform::Defaults::standardFilePath());
    applyOwnPlaces(std::get<OwnPlaces>(places), dependencies);
    app::AppController controller(std::move(dependencies));
    lastRites = [&controller] {
        controller.quitRequest().failOpenNow(QStringLiteral("murmeli ends, its X server went away"));
    };
    endSignals.onSignal = [&controller, &endSignal](int signal) {
        app::QuitRequest& quit = controller.quitRequest();
        if (quit.isQuitting()) {
            controller.onLog(QStringLiteral("quit: %1 while murmeli ends; it goes on ending in order, and one more "
                                            "ends it at once")
                                 .arg(app::EndSignals::nameOf(signal)),
                common::LogColor::Orange);
            return;
        }
        if (endSignal == 0) {
            endSignal = signal;
        }
        quit.requestWithoutAsking(QStringLiteral("murmeli ends on ") + app::EndSignals::nameOf(signal));
    };
    // Neither may reach into a controller on its way out.
    const auto unwire = qScopeGuard([&endSignals, &channel] {
        lastRites = nullptr;
        endSignals.onSignal = nullptr;
        channel.onRequest = nullptr;
    });
    app::WidgetShellViews views;
    app::AppDelegate delegate(controller, views, QCoreApplication::applicationFilePath());
    channel.onRequest = [&controller, &endSignals, &application](const QString& received) {
        // A signal caught but not yet handled means murmeli is ending: a start that it answered now would end too,
        // leaving none running.
        endSignals.deliverPending();
        if (controller.quitRequest().isQuitting()) {
            return false;
        }
        // The settings window is the one window murmeli can bring forward; the panel is on screen all along. The
        // later start has its answer before the window is built.
        QTimer::singleShot(0, &application, [&controller, received] {
            if (received == QLatin1String(app::InstanceChannel::showRequest)) {
                controller.onLog(QStringLiteral("[diag] instance: murmeli was started again; showing this one"),
                    common::LogColor::Blue);
                Q_EMIT controller.notifications().showSettings();
            } else if (received == QLatin1String(app::InstanceChannel::showSettingsRequest)) {
                Q_EMIT controller.notifications().showSettings();
            } else if (received == QLatin1String(app::InstanceChannel::restoreRequest)) {
                controller.onLog(QStringLiteral("[diag] instance: a session manager started murmeli again; this one "
                                                "stays as it is"),
                    common::LogColor::Blue);
            }
        });
        return true;
    };
    QTimer::singleShot(0, &application, [&delegate, openSettings] {
        delegate.applicationDidFinishLaunching();
        if (openSettings) {
            delegate.showSettingsWindow();
        }
    });
    const int status = QApplication::exec();
    // The held requests are answered and the hook port is closed: a later start need not wait for the rest of the
    // end, which may wait on a thread a folder that stopped answering holds, and which is cut short if it does. It
    // finds no socket of this one's either, where nobody would answer it now.
    channel.close();
    lock.release();
    common::endWithin(common::teardownLimitMs, status, endSignal);
    common::flushStderr(common::logFlushMs);
    return status;
}

int main(int argc, char** argv)
{
    int endSignal = 0;
    const int status = run(argc, argv, endSignal);
    if (endSignal != 0) {
        // The last line, after anything the teardown said, tells why murmeli is gone.
        murmeli::common::writeToStderr(
            QStringLiteral("murmeli ended on ") + murmeli::app::EndSignals::nameOf(endSignal),
            murmeli::common::LogColor::Orange);
        murmeli::common::endProcessBySignal(endSignal);
    }
    murmeli::common::endProcess(status);
}
