#include "main/app/AppDelegate.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include "main/app/AppController.h"
#include "main/app/shell/ShellViews.h"
#include "main/common/Log.h"
#include "main/settings/onboarding/OnboardingController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FullPipe.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using common::LogColor;

namespace {

const QString fontsFolder = QStringLiteral(MURMELI_SOURCE_DIR "/fonts");

// Records what the delegate asks of its windows, in order.
class RecordingViews final : public app::ShellViews {
public:
    struct Line {
        QString message;
        LogColor color;
    };

    void buildActivityLog() override { events << QStringLiteral("build"); }
    void appendLog(const QString& message, LogColor color) override
    {
        events << QStringLiteral("line");
        lines.append({ message, color });
    }
    void showActivityLog() override { events << QStringLiteral("show"); }
    void showSettings(app::AppController&) override { events << QStringLiteral("settings"); }
    void showOnboarding(app::AppController&, bool isReopen, std::function<void()> onClose) override
    {
        events << (isReopen ? QStringLiteral("reopen") : QStringLiteral("onboarding"));
        closers.push_back(std::move(onClose));
    }
    void showNotchPanel(app::AppController&, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome) override
    {
        events << (flashWelcome ? QStringLiteral("panel+welcome") : QStringLiteral("panel"));
        panelCue = std::move(cue);
    }
    void showInformation(
        const QString& message, const QString& informativeText, std::function<void()> onDismissed) override
    {
        events << QStringLiteral("information");
        information = { message, informativeText };
        dismiss = std::move(onDismissed);
    }

    qsizetype indexOf(const QString& message) const
    {
        const auto found
            = std::find_if(lines.begin(), lines.end(), [&](const Line& line) { return line.message == message; });
        return found == lines.end() ? -1 : found - lines.begin();
    }
    bool hasLineStartingWith(const QString& prefix) const
    {
        return std::any_of(
            lines.begin(), lines.end(), [&](const Line& line) { return line.message.startsWith(prefix); });
    }

    QStringList events;
    std::shared_ptr<device::AudioCueOutput> panelCue;
    QList<Line> lines;
    QStringList information;
    std::function<void()> dismiss;
    // The close of each onboarding window shown, in order.
    std::vector<std::function<void()>> closers;
};

struct Fixture {
    explicit Fixture(std::shared_ptr<common::Clock> clock = std::make_shared<common::SystemClock>())
        : controller(test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock))
    {
    }

    QTemporaryDir root;
    app::AppController controller;
    RecordingViews views;
};

} // namespace

// A first run: the log comes first, then the onboarding window; the panel and the back end wait for its close
// (not for a Finish) and start once, on a later turn of the event loop.
TEST(AppDelegateTest, StartUpBuildsTheLogFirstAndStartsTheBackendOnceTheGateIsPassed)
{
    auto clock = std::make_shared<test::FakeClock>();
    Fixture f(clock);
    app::AppDelegate delegate(f.controller, f.views, QStringLiteral("/usr/bin/murmeli"), fontsFolder);
    delegate.applicationDidFinishLaunching();

    ASSERT_GE(f.views.events.size(), 3);
    EXPECT_EQ(f.views.events.first(), QStringLiteral("build"));
    EXPECT_EQ(f.views.events.count(QStringLiteral("onboarding")), 1);
    ASSERT_EQ(f.views.lines.size(), 2);
    EXPECT_EQ(f.views.lines[0].message,
        QStringLiteral("[diag] fonts: Fraunces, Geist Mono, Instrument Sans from ") + fontsFolder);
    EXPECT_EQ(f.views.lines[0].color, LogColor::Blue);
    EXPECT_EQ(f.views.lines[1].message, QStringLiteral("murmeli ready"));
    EXPECT_EQ(f.views.lines[1].color, LogColor::Green);
    QCoreApplication::processEvents();
    EXPECT_FALSE(test::ControllerProbe::hookServer(f.controller).isRunning())
        << "the back end waits for the onboarding window";

    ASSERT_EQ(f.views.closers.size(), 1u);
    f.views.closers.front()();
    f.views.closers.front()();
    EXPECT_FALSE(test::ControllerProbe::hookServer(f.controller).isRunning()) << "never from inside the close itself";
    // The server's line comes from its own thread, a moment after it reports running.
    const auto listening = [&] {
        return f.views.indexOf(QStringLiteral("HookServer: listening on 127.0.0.1:%1 (legacy no-auth)")
                                   .arg(test::ControllerProbe::hookServer(f.controller).port()));
    };
    ASSERT_TRUE(test::waitUntil(
        [&] { return test::ControllerProbe::hookServer(f.controller).isRunning() && listening() >= 0; }));
    EXPECT_GT(listening(), f.views.indexOf(QStringLiteral("murmeli ready")));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.views.events.count(QStringLiteral("onboarding")), 1);
    EXPECT_FALSE(settings::OnboardingController::isCompleted(f.controller.defaults()));

    EXPECT_FALSE(f.views.hasLineStartingWith(QStringLiteral("[health] ")));
    clock->advance(app::HealthTicker::intervalMs);
    EXPECT_TRUE(f.views.hasLineStartingWith(QStringLiteral("[health] rss=")));
}

// Once onboarding was finished the launch shows no window and the back end starts right after it; a reopening
// shows a window whose close starts nothing again.
TEST(AppDelegateTest, AFinishedOnboardingIsSkippedAndReopensOnRequest)
{
    Fixture f;
    settings::OnboardingController::markCompleted(f.controller.defaults());
    app::AppDelegate delegate(f.controller, f.views, QStringLiteral("/usr/bin/murmeli"), fontsFolder);
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(f.views.events.count(QStringLiteral("onboarding")), 0);
    EXPECT_FALSE(test::ControllerProbe::hookServer(f.controller).isRunning()) << "the log sink is in place first";
    // The server's line comes from its own thread, a moment after it reports running.
    ASSERT_TRUE(test::waitUntil([&] {
        return test::ControllerProbe::hookServer(f.controller).isRunning()
            && f.views.hasLineStartingWith(QStringLiteral("HookServer: listening"));
    }));

    Q_EMIT f.controller.notifications().onboardingForceReopen();
    Q_EMIT f.controller.notifications().onboardingForceReopen();
    EXPECT_EQ(f.views.events.count(QStringLiteral("reopen")), 2) << "an open window does not stop a second";
    const qsizetype lines = f.views.lines.size();
    for (const std::function<void()>& close : f.views.closers) {
        close();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(f.views.lines.size(), lines);
}

TEST(AppDelegateTest, ThePanelGetsTheSharedCueOutputAndFlashesTheWelcomeOnlyOnTheFirstLaunch)
{
    Fixture f;
    for (const QString& expected : { QStringLiteral("panel+welcome"), QStringLiteral("panel") }) {
        RecordingViews views;
        app::AppDelegate delegate(f.controller, views, QStringLiteral("/usr/bin/murmeli"), fontsFolder);
        delegate.setupNotchPanel();
        delegate.setupNotchPanel();
        EXPECT_EQ(views.events, QStringList { expected });
        ASSERT_TRUE(views.panelCue);
        EXPECT_EQ(views.panelCue.get(), &f.controller.announcements().audioCue());
    }
    EXPECT_EQ(f.controller.defaults().boolValue(QString::fromLatin1(app::AppDelegate::welcomeFlashedKey)), true);
}

TEST(AppDelegateTest, WithoutAFontsFolderTheSystemFacesStandIn)
{
    Fixture f;
    app::AppDelegate delegate(f.controller, f.views, QStringLiteral("/nowhere/bin/murmeli"));
    delegate.applicationDidFinishLaunching();
    ASSERT_FALSE(f.views.lines.isEmpty());
    EXPECT_EQ(f.views.lines.first().color, LogColor::Orange);
    EXPECT_TRUE(f.views.lines.first().message.startsWith(QStringLiteral("[diag] fonts: no fonts folder")));
}

TEST(AppDelegateTest, NotificationsReachTheirWindows)
{
    Fixture f;
    const QString skipped = QStringLiteral("[I-337] manual update check skipped: no update feed on Linux");
    {
        app::AppDelegate delegate(f.controller, f.views, QString(), fontsFolder);
        delegate.applicationDidFinishLaunching();
        common::NotificationHub& hub = f.controller.notifications();

        Q_EMIT hub.showActivityLog();
        EXPECT_EQ(f.views.events.count(QStringLiteral("show")), 1);
        Q_EMIT hub.showSettings();
        Q_EMIT hub.openSettingsPermissions();
        EXPECT_EQ(f.views.events.count(QStringLiteral("settings")), 2);

        Q_EMIT hub.checkForUpdates();
        ASSERT_EQ(f.views.information.size(), 2);
        EXPECT_EQ(f.views.information.first(), QStringLiteral("Updates not available in dev build"));
        // The line follows the dismissal, not the question.
        EXPECT_EQ(f.views.indexOf(skipped), -1);
        f.views.dismiss();
        const qsizetype at = f.views.indexOf(skipped);
        ASSERT_GE(at, 0);
        EXPECT_EQ(f.views.lines[at].color, LogColor::Grey);

        Q_EMIT hub.checkForUpdates();
    }
    // A message dismissed after the delegate is gone logs nothing and touches nothing.
    const qsizetype linesBefore = f.views.lines.size();
    f.views.dismiss();
    EXPECT_EQ(f.views.lines.size(), linesBefore);
    Q_EMIT f.controller.notifications().showActivityLog();
    EXPECT_EQ(f.views.events.count(QStringLiteral("show")), 1);
}

TEST(AppDelegateTest, LogIntoAStuckStderrStillFailsAHeldRequestOpen)
{
    Fixture f;
    // Standard error becomes a full pipe that nobody reads. A main thread stuck writing into it never comes back:
    // the alarm ends the run instead of the suite's time limit.
    test::FullPipe pipe;
    const int savedStderr = ::dup(STDERR_FILENO);
    ::dup2(pipe.writeEnd(), STDERR_FILENO);
    ::alarm(90);

    settings::OnboardingController::markCompleted(f.controller.defaults());
    app::AppDelegate delegate(f.controller, f.views, QString(), fontsFolder);
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(test::waitUntil([&] { return test::ControllerProbe::hookServer(f.controller).isRunning(); }));
    const quint16 port = test::ControllerProbe::hookServer(f.controller).port();
    // Each event with a refused session key is one log line.
    for (int i = 0; i < 200; ++i) {
        test::postHook(port, QStringLiteral("/hook/Notification"), R"({"session_id":"bad key"})");
    }
    const QByteArray body = R"({"session_id":"0123456789abcdef","tool_name":"Bash","tool_input":{"command":"ls"}})";
    test::HttpClient held(port);
    held.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(held.readUntilClosed(40000), test::expectedReply(200, "OK", "{}"));
    EXPECT_GE(waited.elapsed(), 24000);

    ::alarm(0);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    pipe.readUntil([] { return common::flushStderr(10); });
}
