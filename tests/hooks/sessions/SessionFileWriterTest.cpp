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

const SessionKey key = *SessionKey::fromSessionId("abcd1234-rest-of-the-id");

class SessionFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QByteArray contents(const QString& name) const
    {
        QFile file(m_root.filePath("a/status/" + name));
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
    ASSERT_TRUE(m_writer.writeActivity(key, "make test", "Bash", 1'800'000'000, "proj"));
    ASSERT_TRUE(m_writer.writeNotify(key, "error", QString(500, 'x'), 1, "proj"));
    ASSERT_TRUE(m_writer.writeNotify(key, "idle", "short", 2, "proj"));
    ASSERT_TRUE(m_writer.writeTranscriptPath(key, "/home/u/t.jsonl"));
    EXPECT_FALSE(m_writer.writeTranscriptPath(key, QString()));

    EXPECT_EQ(object("abcd1234-notify.json").value("message").toString(), "short");
    EXPECT_EQ(contents("abcd1234-transcript-path.txt"), "/home/u/t.jsonl"); // no line break added
    EXPECT_EQ(allFiles(),
        QStringList({ "a/status/abcd1234-activity.json", "a/status/abcd1234-notify.json",
            "a/status/abcd1234-transcript-path.txt" }));
}

TEST_F(SessionFileWriterTest, ClearNotifyLeavesAnEmptyFile)
{
    ASSERT_TRUE(m_writer.writeNotify(key, "permission", "Allow?", 1, "proj"));
    ASSERT_TRUE(m_writer.clearNotify(key));
    EXPECT_EQ(contents("abcd1234-notify.json"), "");

    ASSERT_TRUE(m_writer.clearNotify(std::nullopt));
    EXPECT_EQ(contents("notify.json"), "");
}

TEST_F(SessionFileWriterTest, RefusedDirectoryWritesNothing)
{
    ASSERT_TRUE(QDir(m_root.path()).mkdir("elsewhere"));
    ASSERT_TRUE(QFile::link(m_root.filePath("elsewhere"), m_root.filePath("linked")));
    SessionFileWriter writer { StatusDirectory(m_root.filePath("linked")) };
    EXPECT_FALSE(writer.writeActivity(key, "ls", "Bash", 1, "p"));
    EXPECT_FALSE(writer.clearNotify(key));
    EXPECT_TRUE(QDir(m_root.filePath("elsewhere")).isEmpty());
}

TEST_F(SessionFileWriterTest, AFailingFileIsLoggedOnceUntilItIsWrittenAgain)
{
    const QString blocked = m_root.filePath("blocked");
    const auto blockDirectory = [&] {
        QDir(blocked).removeRecursively();
        QFile file(blocked); // a file where the directory should be
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    SessionFileWriter writer { StatusDirectory(blocked) };
    QStringList lines;
    writer.onLog = [&](const QString& message, common::LogColor color) {
        EXPECT_EQ(color, common::LogColor::Red);
        lines << message;
    };

    blockDirectory();
    for (int burst = 0; burst < 3; ++burst) {
        EXPECT_FALSE(writer.writeActivity(key, "ls", "Bash", burst, "p"));
        EXPECT_FALSE(writer.writeNotify(key, "idle", "m", burst, "p"));
    }
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString(); // one per file, not one per event
    EXPECT_TRUE(lines[0].startsWith("[hook-diag]") && lines[0].contains(blocked + "/abcd1234-activity.json"));
    EXPECT_TRUE(lines[1].contains("abcd1234-notify.json"));

    ASSERT_TRUE(QFile::remove(blocked));
    EXPECT_TRUE(writer.writeActivity(key, "ls", "Bash", 4, "p"));
    blockDirectory();
    EXPECT_FALSE(writer.writeActivity(key, "ls", "Bash", 5, "p"));
    EXPECT_FALSE(writer.writeNotify(key, "idle", "m", 5, "p"));
    EXPECT_EQ(lines.size(), 3); // the activity file failed anew after a success; the notice never recovered
}

} // namespace
} // namespace murmeli::hooks
