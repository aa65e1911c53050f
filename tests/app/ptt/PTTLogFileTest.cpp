#include "main/app/ptt/PTTLogFile.h"

#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "tests/support/Files.h"
#include "tests/support/Wait.h"

namespace murmeli::app {

namespace {

QList<QJsonObject> readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QJsonObject> objects;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty()) {
            objects << QJsonDocument::fromJson(line).object();
        }
    }
    return objects;
}

PTTSessionLog take(const QDateTime& start, qint64 ms, const char* trigger)
{
    return { start, start.addMSecs(ms), QStringLiteral("cloud-streaming"), QStringLiteral("local"), true,
        QString::fromLatin1(trigger), 12, true, std::nullopt };
}

TEST(PTTLogFileTest, EachTakeIsOneLineInTheFileOfItsDay)
{
    QTemporaryDir root;
    PTTLogFile log(root.path() + QStringLiteral("/logs"));
    const QDateTime morning = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::LocalTime);
    PTTSessionLog failed = take(morning.addSecs(60), 800, PTTSessionLog::triggerCustomHotkey);
    failed.backend = QStringLiteral("apple-stt");
    failed.micSource = QStringLiteral("ble");
    failed.streaming = false;
    failed.finalTextLength = 0;
    failed.success = false;
    failed.error = QStringLiteral("no speech");
    const PTTSessionLog records[] = {
        take(morning, 2500, PTTSessionLog::triggerF13),
        failed,
        take(morning.addDays(1), 60000, PTTSessionLog::triggerDevice),
    };
    for (const PTTSessionLog& record : records) {
        log.append(record);
    }
    ASSERT_TRUE(log.waitForAppends(5000));

    const QList<QJsonObject> first = readLines(log.pathFor(morning.date()));
    const QList<QJsonObject> second = readLines(log.pathFor(morning.date().addDays(1)));
    ASSERT_EQ(first.size(), 2);
    ASSERT_EQ(second.size(), 1);
    const QJsonObject* lines[] = { &first[0], &first[1], &second[0] };
    for (std::size_t i = 0; i < std::size(records); ++i) {
        const PTTSessionLog& record = records[i];
        const QJsonObject& line = *lines[i];
        EXPECT_EQ(QDateTime::fromString(line["start"].toString(), Qt::ISODateWithMs), record.start) << i;
        EXPECT_EQ(QDateTime::fromString(line["end"].toString(), Qt::ISODateWithMs), record.end) << i;
        EXPECT_EQ(line["duration_ms"].toInteger(), record.start.msecsTo(record.end)) << i;
        EXPECT_EQ(line["backend"].toString(), record.backend) << i;
        EXPECT_EQ(line["mic_source"].toString(), record.micSource) << i;
        EXPECT_EQ(line["streaming"].toBool(), record.streaming) << i;
        EXPECT_EQ(line["trigger"].toString(), record.trigger) << i;
        EXPECT_EQ(line["final_text_length"].toInt(), record.finalTextLength) << i;
        EXPECT_EQ(line["success"].toBool(), record.success) << i;
        EXPECT_EQ(line["error"].isNull(), !record.error) << i;
        EXPECT_EQ(line["error"].toString(), record.error.value_or(QString())) << i;
    }
    EXPECT_EQ(QFile::permissions(log.pathFor(morning.date())) & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST(PTTLogFileTest, AFailedWriteIsReportedAndLosesNothingElse)
{
    QTemporaryDir root;
    // A file where the folder should be: nothing can be written below it.
    const QString blocked = root.path() + QStringLiteral("/logs");
    QFile blocker(blocked);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PTTLogFile log(blocked);
    QStringList reports;
    log.onLog = [&](const QString& message, common::LogColor) { reports << message; };
    log.append(take(QDateTime::currentDateTime(), 1000, PTTSessionLog::triggerPanel));
    ASSERT_TRUE(log.waitForAppends(5000));
    ASSERT_TRUE(test::waitUntil([&] { return !reports.isEmpty(); }));
    EXPECT_TRUE(reports.front().startsWith(QStringLiteral("PTT: log write failed: "))) << reports.front().toStdString();
}

// The disk fills up in the middle of a line (a file-size limit stands in for it), inside a log folder that is a link
// to a folder the user shares with the group.
TEST(PTTLogFileTest, AFullDiskLeavesNoHalfLineAndALinkedFolderKeepsItsMode)
{
    QTemporaryDir root;
    const QString shared = root.path() + QStringLiteral("/shared");
    ASSERT_TRUE(QDir().mkpath(shared));
    const QFile::Permissions sharedMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(shared, sharedMode));
    ASSERT_TRUE(QFile::link(shared, root.path() + QStringLiteral("/logs")));
    PTTLogFile log(root.path() + QStringLiteral("/logs"));
    QStringList reports;
    log.onLog = [&](const QString& message, common::LogColor) { reports << message; };
    const QDateTime morning = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::LocalTime);
    const QString path = log.pathFor(morning.date());

    log.append(take(morning, 1000, PTTSessionLog::triggerF13));
    ASSERT_TRUE(log.waitForAppends(5000));
    const QByteArray first = test::readFile(path);
    ASSERT_TRUE(first.endsWith('\n'));

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit full = unlimited;
    full.rlim_cur = rlim_t(first.size() + 20);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    log.append(take(morning.addSecs(60), 2000, PTTSessionLog::triggerPanel));
    ASSERT_TRUE(log.waitForAppends(5000));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    log.append(take(morning.addSecs(120), 3000, PTTSessionLog::triggerCustomHotkey));
    ASSERT_TRUE(log.waitForAppends(5000));

    const QList<QJsonObject> lines = readLines(path);
    ASSERT_EQ(lines.size(), 2) << test::readFile(path).constData();
    EXPECT_EQ(lines[0]["trigger"].toString(), QString::fromLatin1(PTTSessionLog::triggerF13));
    EXPECT_EQ(lines[1]["trigger"].toString(), QString::fromLatin1(PTTSessionLog::triggerCustomHotkey));
    ASSERT_TRUE(test::waitUntil([&] { return !reports.isEmpty(); }));
    EXPECT_EQ(reports,
        QStringList { QStringLiteral("PTT: log write failed: ") + path + QStringLiteral(": ")
            + QString::fromLocal8Bit(std::strerror(EFBIG)) });
    // Owner, group and others; the bits Qt adds for the user running the test say the same as the owner's.
    EXPECT_EQ(QFile::permissions(shared) & 0x7077, sharedMode);
}

} // namespace
} // namespace murmeli::app
