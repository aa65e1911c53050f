#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/secrets/file/FileSecretStore.h"

using murmeli::platform::FileSecretStore;

namespace {

const QString service = QStringLiteral("com.murmeli.apikey.hook-auth");
const QString account = QStringLiteral("secret");

mode_t modeOf(const QString& path)
{
    struct stat info { };
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

void writeRaw(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    QString secretsDir() const { return m_temp.path() + QStringLiteral("/data/murmeli/secrets"); }
    QString itemFile() const { return secretsDir() + u'/' + service + u'.' + account; }

    QTemporaryDir m_temp;
    FileSecretStore m_store { secretsDir() };
};

TEST_F(FileSecretStoreTest, RoundTripsThroughOneFileNamedServiceDotAccount)
{
    ASSERT_TRUE(m_temp.isValid());
    EXPECT_FALSE(m_store.load(service, account).has_value());

    ASSERT_TRUE(m_store.save(service, account, "s3cr3t"));
    EXPECT_EQ(m_store.load(service, account), QByteArray("s3cr3t"));

    // The installer script reads and writes this exact path, so the layout is part of the contract.
    QFile file(secretsDir() + QStringLiteral("/com.murmeli.apikey.hook-auth.secret"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("s3cr3t"));
    EXPECT_EQ(QDir(secretsDir()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 1);
}

TEST_F(FileSecretStoreTest, CreatesPrivateDirectoryAndPrivateFiles)
{
    ASSERT_FALSE(QFileInfo::exists(secretsDir()));
    ASSERT_TRUE(m_store.save(service, account, "v"));
    EXPECT_EQ(modeOf(secretsDir()), 0700u);
    EXPECT_EQ(modeOf(itemFile()), 0600u);
}

TEST_F(FileSecretStoreTest, NarrowsAnExistingLooseFileWhenReplacingIt)
{
    ASSERT_TRUE(m_store.isAvailable());
    writeRaw(itemFile(), "old", 0644);
    ASSERT_TRUE(m_store.save(service, account, "new"));
    EXPECT_EQ(modeOf(itemFile()), 0600u);
    EXPECT_EQ(m_store.load(service, account), QByteArray("new"));
}

TEST_F(FileSecretStoreTest, KeepsExactBytes)
{
    const QByteArray values[] = {
        QByteArray("line\n"),
        QByteArray("  padded \r\n\n"),
        QByteArray("nul\0inside", 10),
        QByteArray("\xff\xfe not utf-8"),
        QByteArray(""),
    };
    for (const QByteArray& value : values) {
        ASSERT_TRUE(m_store.save(service, account, value));
        const std::optional<QByteArray> loaded = m_store.load(service, account);
        ASSERT_TRUE(loaded.has_value());
        EXPECT_EQ(*loaded, value) << value.toHex().toStdString();
    }
    // A file written by a shell with echo keeps its newline: nothing is stripped on reading.
    writeRaw(itemFile(), "from-shell\n", 0600);
    EXPECT_EQ(m_store.load(service, account), QByteArray("from-shell\n"));
}

TEST_F(FileSecretStoreTest, ReplacesAtomicallyWithoutLeftovers)
{
    ASSERT_TRUE(m_store.save(service, account, "first"));
    const ino_t before = [&] {
        struct stat info { };
        ::stat(QFile::encodeName(itemFile()).constData(), &info);
        return info.st_ino;
    }();
    ASSERT_TRUE(m_store.save(service, account, "second, longer than the first"));
    EXPECT_EQ(m_store.load(service, account), QByteArray("second, longer than the first"));

    // A rename puts a new inode under the name; rewriting in place would keep the old one and could leave a torn file.
    struct stat after { };
    ASSERT_EQ(::stat(QFile::encodeName(itemFile()).constData(), &after), 0);
    EXPECT_NE(after.st_ino, before);
    EXPECT_EQ(QDir(secretsDir()).entryList(QDir::Files | QDir::Hidden | QDir::System),
        QStringList { service + u'.' + account });
}

TEST_F(FileSecretStoreTest, RefusesUnsafeNamesWithoutTouchingTheDisk)
{
    const QString bad[] = {
        QString(),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral(".hidden"),
        QStringLiteral("../escape"),
        QStringLiteral("a/b"),
        QStringLiteral("with space"),
        QStringLiteral("tab\t"),
        QStringLiteral("nul") + QChar(0),
        QStringLiteral("ümlaut"),
        QStringLiteral("star*"),
    };
    for (const QString& name : bad) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(m_store.save(name, account, "x"));
        EXPECT_FALSE(m_store.save(service, name, "x"));
        EXPECT_FALSE(m_store.load(name, account).has_value());
        EXPECT_FALSE(m_store.load(service, name).has_value());
        EXPECT_FALSE(m_store.remove(name, account));
        EXPECT_FALSE(m_store.remove(service, name));
    }
    EXPECT_FALSE(QFileInfo::exists(secretsDir()));
    EXPECT_FALSE(QFileInfo::exists(m_temp.path() + QStringLiteral("/data/murmeli/escape.secret")));

    // The allowed alphabet itself works.
    EXPECT_TRUE(m_store.save(QStringLiteral("Az09._-"), QStringLiteral("a.b-c_D9"), "ok"));
    EXPECT_EQ(m_store.load(QStringLiteral("Az09._-"), QStringLiteral("a.b-c_D9")), QByteArray("ok"));
}

TEST_F(FileSecretStoreTest, RefusesFilesOthersCouldHaveReadOrPlanted)
{
    ASSERT_TRUE(m_store.isAvailable());

    writeRaw(itemFile(), "world", 0644);
    EXPECT_FALSE(m_store.load(service, account).has_value());
    writeRaw(itemFile(), "group", 0640);
    EXPECT_FALSE(m_store.load(service, account).has_value());
    writeRaw(itemFile(), "others", 0604);
    EXPECT_FALSE(m_store.load(service, account).has_value());
    writeRaw(itemFile(), "private", 0600);
    EXPECT_EQ(m_store.load(service, account), QByteArray("private"));
    ASSERT_TRUE(QFile::remove(itemFile()));

    // A private file behind a symlink is still refused: the link could point anywhere.
    const QString target = m_temp.path() + QStringLiteral("/elsewhere");
    writeRaw(target, "linked", 0600);
    ASSERT_TRUE(QFile::link(target, itemFile()));
    EXPECT_FALSE(m_store.load(service, account).has_value());
    // Saving must not write through the link either, and leaves both link and target as they were.
    EXPECT_FALSE(m_store.save(service, account, "overwrite"));
    QFile targetFile(target);
    ASSERT_TRUE(targetFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(targetFile.readAll(), QByteArray("linked"));
    EXPECT_TRUE(QFileInfo(itemFile()).isSymLink());
    // Removing drops the link, not what it points to.
    EXPECT_TRUE(m_store.remove(service, account));
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(FileSecretStoreTest, RefusesNonRegularFiles)
{
    ASSERT_TRUE(m_store.isAvailable());
    ASSERT_EQ(::mkfifo(QFile::encodeName(itemFile()).constData(), 0600), 0);
    // Opening a FIFO for reading would block until a writer came; the store must return at once.
    EXPECT_FALSE(m_store.load(service, account).has_value());
    EXPECT_FALSE(m_store.save(service, account, "x"));
    ASSERT_TRUE(QFile::remove(itemFile()));

    ASSERT_TRUE(QDir().mkdir(itemFile()));
    EXPECT_FALSE(m_store.load(service, account).has_value());
    EXPECT_FALSE(m_store.save(service, account, "x"));
    EXPECT_FALSE(m_store.remove(service, account));
    EXPECT_TRUE(QFileInfo(itemFile()).isDir());
}

TEST_F(FileSecretStoreTest, BoundsItemSize)
{
    const QByteArray largest(FileSecretStore::maxValueSize, 'k');
    ASSERT_TRUE(m_store.save(service, account, largest));
    EXPECT_EQ(m_store.load(service, account), largest);

    EXPECT_FALSE(m_store.save(service, account, largest + 'k'));
    EXPECT_EQ(m_store.load(service, account), largest) << "a refused save must keep the old value";

    writeRaw(itemFile(), largest + 'k', 0600);
    EXPECT_FALSE(m_store.load(service, account).has_value());
}

TEST_F(FileSecretStoreTest, RemoveIsIdempotentAndLeavesOtherItems)
{
    EXPECT_TRUE(m_store.remove(service, account)) << "nothing there, not even the directory";
    ASSERT_TRUE(m_store.save(service, account, "a"));
    ASSERT_TRUE(m_store.save(service, QStringLiteral("other"), "b"));
    EXPECT_TRUE(m_store.remove(service, account));
    EXPECT_FALSE(m_store.load(service, account).has_value());
    EXPECT_TRUE(m_store.remove(service, account));
    EXPECT_EQ(m_store.load(service, QStringLiteral("other")), QByteArray("b"));
}

TEST_F(FileSecretStoreTest, AvailabilityFollowsTheDirectory)
{
    EXPECT_TRUE(m_store.isAvailable());
    EXPECT_EQ(modeOf(secretsDir()), 0700u);
    EXPECT_EQ(m_store.backendName(), QStringLiteral("file"));

    // A plain file where the directory should be makes the store unusable, and it says so.
    const QString blocked = m_temp.path() + QStringLiteral("/blocked");
    writeRaw(blocked, "", 0600);
    FileSecretStore blockedStore(blocked);
    EXPECT_FALSE(blockedStore.isAvailable());
    EXPECT_FALSE(blockedStore.save(service, account, "x"));
    EXPECT_FALSE(blockedStore.load(service, account).has_value());

    EXPECT_FALSE(FileSecretStore(QString()).isAvailable());
}

TEST(FileSecretStoreDirectoryTest, FollowsXdgDataHome)
{
    const QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");

    qputenv("XDG_DATA_HOME", "/srv/data/");
    EXPECT_EQ(FileSecretStore::standardDirectory(), QStringLiteral("/srv/data/murmeli/secrets"));
    qputenv("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(FileSecretStore::standardDirectory(), QDir::homePath() + QStringLiteral("/.local/share/murmeli/secrets"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(FileSecretStore::standardDirectory(), QDir::homePath() + QStringLiteral("/.local/share/murmeli/secrets"));

    if (hadXdg) {
        qputenv("XDG_DATA_HOME", savedXdg);
    }
}

} // namespace
