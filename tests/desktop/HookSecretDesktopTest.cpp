#include <gtest/gtest.h>

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/KeychainStore.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Files.h"
#include "tests/support/HttpClient.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

const QString service = QString::fromLatin1(platform::KeychainStore::hookAuthService);
const QString account = QStringLiteral("secret");

// Sets an environment variable of this process (or unsets it, given nothing) until the guard goes.
auto setForNow(const char* name, const std::optional<QByteArray>& value)
{
    const std::optional<QByteArray> before
        = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    value ? qputenv(name, *value) : qunsetenv(name);
    return qScopeGuard([name, before] { before ? qputenv(name, *before) : qunsetenv(name); });
}

// A user's home where the agents' installers run, some from the desktop and some from a shell that does not reach
// its session bus (a login over ssh, su, a terminal of another session).
class Home {
public:
    QString path() const { return m_dir.path(); }
    QString hooks(const QString& agent) const
    {
        return path() + QStringLiteral("/.local/share/murmeli/hooks/") + agent + QLatin1Char('/');
    }

    // Runs an agent's installer; the output when it failed.
    std::optional<QString> install(const QString& installer, bool withSessionBus) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name :
            { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "CODEX_HOME", "GEMINI_SETTINGS", "MURMELI_SECRETS_BACKEND" }) {
            environment.remove(QString::fromLatin1(name));
        }
        if (!withSessionBus) {
            environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        }
        environment.insert(QStringLiteral("HOME"), path());
        environment.insert(QStringLiteral("MURMELI_BIN"), QStringLiteral(MURMELI_BINARY));
        return run(QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/") + installer, {}, environment);
    }

    // One event through the agent's installed hook command, as the agent runs it.
    std::optional<QString> post(const QString& agent, const QString& event, quint16 port) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path());
        environment.insert(QStringLiteral("MURMELI_PORT"), QString::number(port));
        environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), path() + QStringLiteral("/status"));
        return run(hooks(agent) + agent + QStringLiteral("-hook"), { event }, environment,
            R"({"session_id": "0a1b2c3d4e5f", "cwd": "/tmp"})");
    }

private:
    static std::optional<QString> run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment, const QByteArray& input = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("/bin/bash"), QStringList { program } + arguments);
        process.write(input);
        process.closeWriteChannel();
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
            return std::nullopt;
        }
        return QString::fromUtf8(process.readAll());
    }

    QTemporaryDir m_dir;
};

} // namespace

// murmeli on the desktop keeps its secrets in the keyring, an installer run without the session bus keeps the hook
// secret in a file: murmeli takes it from either, the installers agree on where a new one goes, and the agent's events
// are accepted whatever the order of the installs. A hook whose secret murmeli does not hold is named in the log.
TEST(HookSecretDesktopTest, AnAgentInstalledWithoutTheSessionBusReachesMurmeliOnTheDesktop)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    // The keyring is what murmeli on the desktop uses; a store forced from outside would hide it.
    const auto forced = setForNow("MURMELI_SECRETS_BACKEND", std::nullopt);
    const std::shared_ptr<platform::SecretStore> keyring = platform::makeSecretStore();
    ASSERT_EQ(keyring->backendName(), QStringLiteral("secret-service"));
    const auto tidy = qScopeGuard([&] { keyring->remove(service, account); });

    const struct {
        const char* what;
        // A secret that an install on the desktop stored before this change, for the hooks it installed then.
        QByteArray inKeyringBefore;
        // An agent installed on the desktop after the one installed without the bus.
        bool desktopInstallAfter;
    } cases[] = {
        { "installed only without the session bus", {}, false },
        { "the keyring holds an earlier install's secret", "an-earlier-desktop-install", false },
        { "another agent installed on the desktop afterwards", {}, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        keyring->remove(service, account);
        if (!c.inKeyringBefore.isEmpty()) {
            ASSERT_TRUE(keyring->save(service, account, c.inKeyringBefore));
        }
        const Home home;
        const std::optional<QString> codex = home.install(QStringLiteral("install-codex-hook"), false);
        ASSERT_FALSE(codex) << codex->toStdString();
        const QByteArray secret = test::readFile(home.hooks(QStringLiteral("codex")) + QStringLiteral("hook-secret"));
        if (c.desktopInstallAfter) {
            const std::optional<QString> gemini = home.install(QStringLiteral("install-gemini-hook"), true);
            ASSERT_FALSE(gemini) << gemini->toStdString();
            EXPECT_EQ(test::readFile(home.hooks(QStringLiteral("gemini")) + QStringLiteral("hook-secret")), secret);
        }

        // murmeli as main() makes it on the desktop, on this home's files.
        const auto dataHome = setForNow("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
        QTemporaryDir root;
        auto clock = std::make_shared<test::FakeClock>();
        app::AppController::Dependencies dependencies = test::controllerDependencies(root, keyring, clock);
        dependencies.hookSecrets = platform::makeHookSecretStore(keyring);
        app::AppController controller(std::move(dependencies));
        QStringList lines;
        controller.onLog = [&](const QString& line, common::LogColor) { lines << line; };
        controller.startBackend(QString());
        const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
        ASSERT_TRUE(server.isRunning());
        EXPECT_TRUE(server.authEnforced());
        EXPECT_TRUE(server.acceptedSecrets().contains(QString::fromLatin1(secret)));

        const std::optional<QString> posted
            = home.post(QStringLiteral("codex"), QStringLiteral("SessionStart"), server.port());
        ASSERT_FALSE(posted) << posted->toStdString();
        EXPECT_TRUE(test::waitUntil([&] { return server.totalEventCount() == 1; })) << lines.join('\n').toStdString();
        if (c.desktopInstallAfter) {
            home.post(QStringLiteral("gemini"), QStringLiteral("SessionStart"), server.port());
            EXPECT_TRUE(test::waitUntil([&] { return server.totalEventCount() == 2; }));
        }
        if (!c.inKeyringBefore.isEmpty()) {
            EXPECT_EQ(test::postHook(server.port(), QStringLiteral("/hook/Stop"), "{}",
                          "x-murmeli-adapter: claude-code\r\nAuthorization: Bearer " + c.inKeyringBefore + "\r\n"),
                test::expectedReply(200, "OK", R"({"ok":true})"));
        }
        EXPECT_EQ(server.bearerRejectCount(), 0);

        // A hook left with a secret murmeli no longer holds: refused, and named in the log once, not per event.
        const QByteArray stale = "x-murmeli-adapter: codex\r\nAuthorization: Bearer no-longer-stored\r\n";
        for (int i = 0; i < 2; ++i) {
            test::postHook(server.port(), QStringLiteral("/hook/Stop"), "{}", stale);
        }
        const auto refused = [&] { return lines.filter(QStringLiteral("HookServer: refused")); };
        ASSERT_TRUE(test::waitUntil([&] { return !refused().isEmpty(); })) << lines.join('\n').toStdString();
        EXPECT_FALSE(test::waitUntil([&] { return refused().size() > 1; }, 1200));
        EXPECT_TRUE(refused().first().startsWith(QStringLiteral("HookServer: refused 1 event(s) from codex:")))
            << refused().first().toStdString();
        EXPECT_EQ(server.bearerRejectCount(), 2);
    }
}
