#include "main/hooks/sessions/SessionFileWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/Files.h"

namespace murmeli::hooks {
namespace {

class SessionFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QByteArray contents(const QString& name) const
    {
        QFile file(m_writer.directory().filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QJsonObject object(const QString& name) const { return QJsonDocument::fromJson(contents(name)).object(); }

    // Everything under the temporary root, so a file written beside the directory is seen too.
    QStringList allFiles() const { return murmeli::test::filesUnder(m_root.path()); }

    QTemporaryDir m_root;
    SessionFileWriter m_writer { StatusDirectory(m_root.filePath("a/status")) };
};

// The fields themselves are checked through the hook dispatcher's tests; here, how the files land on disk.
TEST_F(SessionFileWriterTest, WritesWholeFilesAndLeavesNoTemporariesBehind)
{
    ASSERT_TRUE(m_writer.writeActivity("abcd1234", "make test", "Bash", 1'800'000'000, "proj"));
    ASSERT_TRUE(m_writer.writeNotify("abcd1234", "error", QString(500, 'x'), 1, "proj"));
    ASSERT_TRUE(m_writer.writeNotify("abcd1234", "idle", "short", 2, "proj"));
    ASSERT_TRUE(m_writer.writeTranscriptPath("abcd1234", "/home/u/t.jsonl"));

    EXPECT_EQ(object("abcd1234-notify.json").value("message").toString(), "short");
    EXPECT_EQ(contents("abcd1234-transcript-path.txt"), "/home/u/t.jsonl"); // no line break added
    EXPECT_EQ(allFiles(),
        QStringList({ "a/status/abcd1234-activity.json", "a/status/abcd1234-notify.json",
            "a/status/abcd1234-transcript-path.txt" }));
}

TEST_F(SessionFileWriterTest, ClearNotifyLeavesAnEmptyFile)
{
    ASSERT_TRUE(m_writer.writeNotify("abcd1234", "permission", "Allow?", 1, "proj"));
    ASSERT_TRUE(m_writer.clearNotify("abcd1234"));
    EXPECT_EQ(contents("abcd1234-notify.json"), "");

    ASSERT_TRUE(m_writer.clearNotify(QString()));
    EXPECT_EQ(contents("notify.json"), "");
}

TEST_F(SessionFileWriterTest, UnsafeKeysAndEmptyPathsWriteNothing)
{
    for (const QString& key :
        { QString(), QStringLiteral("../x"), QStringLiteral("a/b"), QStringLiteral("a.b"), QStringLiteral("a b") }) {
        EXPECT_FALSE(m_writer.writeActivity(key, "ls", "Bash", 1, "p")) << key.toStdString();
        EXPECT_FALSE(m_writer.writeNotify(key, "idle", "m", 1, "p")) << key.toStdString();
        EXPECT_FALSE(m_writer.writeTranscriptPath(key, "/t.jsonl")) << key.toStdString();
    }
    EXPECT_FALSE(m_writer.clearNotify(QStringLiteral("../x")));
    EXPECT_FALSE(m_writer.writeTranscriptPath("abcd1234", QString()));
    EXPECT_EQ(allFiles(), QStringList());
}

TEST_F(SessionFileWriterTest, RefusedDirectoryWritesNothing)
{
    ASSERT_TRUE(QDir(m_root.path()).mkdir("elsewhere"));
    ASSERT_TRUE(QFile::link(m_root.filePath("elsewhere"), m_root.filePath("linked")));
    const SessionFileWriter writer { StatusDirectory(m_root.filePath("linked")) };
    EXPECT_FALSE(writer.writeActivity("abcd1234", "ls", "Bash", 1, "p"));
    EXPECT_FALSE(writer.clearNotify("abcd1234"));
    EXPECT_TRUE(QDir(m_root.filePath("elsewhere")).isEmpty());
}

} // namespace
} // namespace murmeli::hooks
