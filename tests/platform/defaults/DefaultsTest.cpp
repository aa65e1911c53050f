#include "platform/defaults/Defaults.h"

#include <optional>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::platform {
namespace {

class DefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name = QStringLiteral("murmeli/defaults.json")) const { return m_dir.filePath(name); }

    static void writeFile(const QString& filePath, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(filePath).absolutePath()));
        QFile file(filePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray readFile(const QString& filePath)
    {
        QFile file(filePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

TEST_F(DefaultsTest, EveryTypeSurvivesAReload)
{
    const QJsonObject object { { QStringLiteral("x"), 1 }, { QStringLiteral("y"), QStringLiteral("z") } };
    const QJsonArray array { 1, QStringLiteral("two"), true };
    const qint64 big = (qint64(1) << 60) + 1; // not exactly representable as a double
    {
        Defaults defaults(path());
        EXPECT_TRUE(defaults.loadError().isEmpty());
        EXPECT_TRUE(defaults.setValue(QStringLiteral("flag"), true));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("count"), QJsonValue(big)));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("ratio"), 0.25));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("name"), QStringLiteral("Grüße \"quoted\"")));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("object"), object));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("array"), array));
    }
    const Defaults reloaded(path());
    EXPECT_TRUE(reloaded.loadError().isEmpty());
    EXPECT_EQ(reloaded.boolValue(QStringLiteral("flag")), true);
    EXPECT_EQ(reloaded.intValue(QStringLiteral("count")), big);
    EXPECT_EQ(reloaded.doubleValue(QStringLiteral("ratio")), 0.25);
    EXPECT_EQ(reloaded.stringValue(QStringLiteral("name")), QStringLiteral("Grüße \"quoted\""));
    EXPECT_EQ(reloaded.objectValue(QStringLiteral("object")), object);
    EXPECT_EQ(reloaded.arrayValue(QStringLiteral("array")), array);
    EXPECT_EQ(reloaded.keys(),
        QStringList({ QStringLiteral("array"), QStringLiteral("count"), QStringLiteral("flag"), QStringLiteral("name"),
            QStringLiteral("object"), QStringLiteral("ratio") }));
}

TEST_F(DefaultsTest, GettersRefuseTheWrongType)
{
    Defaults defaults(path());
    ASSERT_TRUE(defaults.setValue(QStringLiteral("text"), QStringLiteral("true")));
    ASSERT_TRUE(defaults.setValue(QStringLiteral("flag"), false));
    EXPECT_EQ(defaults.boolValue(QStringLiteral("text")), std::nullopt);
    EXPECT_EQ(defaults.stringValue(QStringLiteral("flag")), std::nullopt);
    EXPECT_EQ(defaults.intValue(QStringLiteral("flag")), std::nullopt);
    EXPECT_EQ(defaults.arrayValue(QStringLiteral("text")), std::nullopt);
    EXPECT_TRUE(defaults.value(QStringLiteral("absent")).isUndefined());
    EXPECT_FALSE(defaults.contains(QStringLiteral("absent")));
    EXPECT_FALSE(defaults.setValue(QString(), 1));
    EXPECT_EQ(defaults.keys().size(), 2);
}

TEST_F(DefaultsTest, WholeNumbersAreIntsAndFractionsAreNot)
{
    writeFile(path(), QByteArray(R"({"a": 3, "b": 3.0, "c": 2.5, "d": -7, "e": 1e300})"));
    const Defaults defaults(path());
    ASSERT_TRUE(defaults.loadError().isEmpty()) << defaults.loadError().toStdString();
    EXPECT_EQ(defaults.intValue(QStringLiteral("a")), 3);
    EXPECT_EQ(defaults.intValue(QStringLiteral("b")), 3);
    EXPECT_EQ(defaults.intValue(QStringLiteral("c")), std::nullopt);
    EXPECT_EQ(defaults.intValue(QStringLiteral("d")), -7);
    EXPECT_EQ(defaults.intValue(QStringLiteral("e")), std::nullopt); // whole, but far beyond 64 bits
    EXPECT_EQ(defaults.doubleValue(QStringLiteral("a")), 3.0);
    EXPECT_EQ(defaults.doubleValue(QStringLiteral("c")), 2.5);
}

TEST_F(DefaultsTest, RemovalIsSaved)
{
    {
        Defaults defaults(path());
        ASSERT_TRUE(defaults.setValue(QStringLiteral("settings.voice"), QStringLiteral("on")));
        ASSERT_TRUE(defaults.setValue(QStringLiteral("settings.volume"), 5));
        ASSERT_TRUE(defaults.setValue(QStringLiteral("settingsVersion"), 2));
        ASSERT_TRUE(defaults.setValue(QStringLiteral("window.x"), 10));
        ASSERT_TRUE(defaults.setValue(QStringLiteral("gone"), 1));
        ASSERT_TRUE(defaults.setValue(QStringLiteral("nulled"), 1));

        EXPECT_TRUE(defaults.remove(QStringLiteral("gone")));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("nulled"), QJsonValue::Null));
        EXPECT_TRUE(defaults.removeKeysWithPrefix(QStringLiteral("settings.")));
        EXPECT_TRUE(defaults.remove(QStringLiteral("never-there")));
    }
    const Defaults reloaded(path());
    EXPECT_EQ(reloaded.keys(), QStringList({ QStringLiteral("settingsVersion"), QStringLiteral("window.x") }));
}

TEST_F(DefaultsTest, CorruptFileIsKeptAside)
{
    const QByteArray garbage("{\"half\": tru");
    writeFile(path(), garbage);
    writeFile(path() + QStringLiteral(".corrupt"), QByteArray("older corrupt copy"));

    Defaults defaults(path());
    EXPECT_FALSE(defaults.loadError().isEmpty());
    EXPECT_TRUE(defaults.keys().isEmpty());
    // Nothing is written until a change is made; reading alone leaves the user's file where it was.
    EXPECT_EQ(readFile(path()), garbage);

    ASSERT_TRUE(defaults.setValue(QStringLiteral("fresh"), 1));
    EXPECT_EQ(readFile(path() + QStringLiteral(".corrupt")), garbage);
    const Defaults reloaded(path());
    EXPECT_TRUE(reloaded.loadError().isEmpty());
    EXPECT_EQ(reloaded.intValue(QStringLiteral("fresh")), 1);

    // The set-aside happens once; a second change must not replace the preserved copy with our own file.
    ASSERT_TRUE(defaults.setValue(QStringLiteral("again"), 2));
    EXPECT_EQ(readFile(path() + QStringLiteral(".corrupt")), garbage);
}

TEST_F(DefaultsTest, JsonThatIsNotAnObjectIsKeptAside)
{
    writeFile(path(), QByteArray("[1, 2, 3]"));
    Defaults defaults(path());
    EXPECT_FALSE(defaults.loadError().isEmpty());
    ASSERT_TRUE(defaults.setValue(QStringLiteral("k"), true));
    EXPECT_EQ(readFile(path() + QStringLiteral(".corrupt")), QByteArray("[1, 2, 3]"));
}

TEST_F(DefaultsTest, FailedWriteKeepsTheChangeInMemory)
{
    // A plain file where the directory should be: no permission trick, so this holds even when run as root.
    writeFile(path(QStringLiteral("blocker")), QByteArray("x"));
    Defaults defaults(path(QStringLiteral("blocker/defaults.json")));
    EXPECT_FALSE(defaults.setValue(QStringLiteral("k"), 5));
    EXPECT_EQ(defaults.intValue(QStringLiteral("k")), 5);
    EXPECT_FALSE(defaults.remove(QStringLiteral("k")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("k")));
}

TEST_F(DefaultsTest, PendingChangeIsWrittenByTheNextSave)
{
    const QString blocked = path(QStringLiteral("later/defaults.json"));
    writeFile(path(QStringLiteral("later")), QByteArray("x"));
    Defaults defaults(blocked);
    ASSERT_FALSE(defaults.setValue(QStringLiteral("first"), 1));

    ASSERT_TRUE(QFile::remove(path(QStringLiteral("later"))));
    // Same value again: nothing changed in memory, yet the earlier failed write is still owed to disk.
    EXPECT_TRUE(defaults.setValue(QStringLiteral("first"), 1));
    EXPECT_EQ(Defaults(blocked).intValue(QStringLiteral("first")), 1);
}

TEST_F(DefaultsTest, FileAndCreatedDirectoryArePrivate)
{
    Defaults defaults(path());
    ASSERT_TRUE(defaults.setValue(QStringLiteral("k"), 1));
    const QFile::Permissions ownerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
    const QFile::Permissions groupOrOther = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    const QFileInfo file(path());
    EXPECT_EQ(file.permissions() & (ownerReadWrite | groupOrOther), ownerReadWrite);
    const QFileInfo directory(file.absolutePath());
    EXPECT_EQ(directory.permissions() & groupOrOther, QFile::Permissions());

    // A file that was readable by others before becomes private with the next write.
    ASSERT_TRUE(QFile::setPermissions(path(), ownerReadWrite | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(defaults.setValue(QStringLiteral("k"), 2));
    EXPECT_EQ(QFileInfo(path()).permissions() & groupOrOther, QFile::Permissions());
}

TEST_F(DefaultsTest, ConcurrentWritersLoseNothing)
{
    Defaults defaults(path());
    const auto writer = [&defaults](const QString& prefix) {
        for (int i = 0; i < 40; ++i) {
            EXPECT_TRUE(defaults.setValue(prefix + QString::number(i), i));
            defaults.keys();
        }
    };
    std::thread first(writer, QStringLiteral("a."));
    std::thread second(writer, QStringLiteral("b."));
    first.join();
    second.join();
    EXPECT_EQ(defaults.keys().size(), 80);
    const Defaults reloaded(path());
    EXPECT_EQ(reloaded.keys().size(), 80);
    EXPECT_EQ(reloaded.intValue(QStringLiteral("b.39")), 39);
}

TEST(DefaultsPath, FollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");

    qputenv("XDG_CONFIG_HOME", "/custom/config");
    EXPECT_EQ(Defaults::standardFilePath(), QStringLiteral("/custom/config/murmeli/defaults.json"));
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(Defaults::standardFilePath(), QDir::homePath() + QStringLiteral("/.config/murmeli/defaults.json"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Defaults::standardFilePath(), QDir::homePath() + QStringLiteral("/.config/murmeli/defaults.json"));

    if (wasSet) {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}

} // namespace
} // namespace murmeli::platform
