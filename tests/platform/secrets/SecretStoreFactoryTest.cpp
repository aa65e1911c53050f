#include <gtest/gtest.h>

#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include "platform/secrets/SecretStoreFactory.h"

namespace {

// Sets or clears environment variables for one test and puts the old values back afterwards.
class ScopedEnv final {
public:
    ScopedEnv() = default;
    ~ScopedEnv()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->wasSet) {
                qputenv(it->name.constData(), it->value);
            } else {
                qunsetenv(it->name.constData());
            }
        }
    }
    Q_DISABLE_COPY_MOVE(ScopedEnv)

    void set(const char* name, const QByteArray& value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    struct Saved {
        QByteArray name;
        bool wasSet = false;
        QByteArray value;
    };
    void remember(const char* name) { m_saved.push_back({ name, qEnvironmentVariableIsSet(name), qgetenv(name) }); }

    std::vector<Saved> m_saved;
};

TEST(SecretStoreFactoryTest, EnvironmentForcesTheFileStoreInTheStandardDirectory)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ScopedEnv env;
    env.set("MURMELI_SECRETS_BACKEND", "file");
    env.set("XDG_DATA_HOME", home.path().toUtf8());

    const std::unique_ptr<murmeli::platform::SecretStore> store = murmeli::platform::makeSecretStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->backendName(), QStringLiteral("file"));

    // The forced store must be the one a shell script finds at the documented path.
    ASSERT_TRUE(store->save(QStringLiteral("com.murmeli.apikey.hook-auth"), QStringLiteral("secret"), "token"));
    QFile file(home.path() + QStringLiteral("/murmeli/secrets/com.murmeli.apikey.hook-auth.secret"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("token"));
}

TEST(SecretStoreFactoryTest, FallsBackToTheFileStoreWithoutASessionBus)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ScopedEnv env;
    env.unset("MURMELI_SECRETS_BACKEND");
    env.unset("DBUS_SESSION_BUS_ADDRESS");
    env.set("XDG_DATA_HOME", home.path().toUtf8());

    const std::unique_ptr<murmeli::platform::SecretStore> store = murmeli::platform::makeSecretStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->backendName(), QStringLiteral("file"));
    EXPECT_TRUE(store->isAvailable());
}

TEST(SecretStoreFactoryTest, ADeadSessionBusFallsBackToTheFileStore)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ScopedEnv env;
    // A stale address (a session that has ended) must neither hang the start nor leave us without a store.
    env.set("MURMELI_SECRETS_BACKEND", "secret-service");
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/murmeli-test-bus");
    env.set("XDG_DATA_HOME", home.path().toUtf8());

    const std::unique_ptr<murmeli::platform::SecretStore> store = murmeli::platform::makeSecretStore();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->backendName(), QStringLiteral("file"));
    EXPECT_TRUE(store->isAvailable());
}

} // namespace
