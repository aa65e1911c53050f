// The real murmeli given a hook port and a status folder of its own (MURMELI_PORT, MURMELI_STATUS_DIR), as a test or
// a benchmark starts one beside the user's own: a value that names no place stops the start with what was wrong, and
// a folder that was there before keeps its mode and every file in it that murmeli did not write.

#include <gtest/gtest.h>

#include <functional>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "tests/support/OwnMurmeli.h"
#include "tests/support/Wait.h"

using murmeli::test::waitUntil;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Runs the real murmeli in folder with its own places and one variable set over them, until it ends or listens and
// done(); false when neither came. Its log is in log.
bool runUntil(
    QProcess& murmeli, const QTemporaryDir& folder, const QString& variable, const QString& value, QByteArray& log,
    const std::function<bool()>& done = [] { return true; })
{
    auto environment = murmeli::test::ownMurmeliEnvironment(folder.path());
    if (!environment) {
        return false;
    }
    environment->insert(variable, value);
    murmeli.setProcessEnvironment(*environment);
    murmeli.setWorkingDirectory(folder.path());
    murmeli.start(QStringLiteral(MURMELI_BINARY), QStringList {});
    const bool came = waitUntil(
        [&] {
            log += murmeli.readAllStandardError();
            return murmeli.state() == QProcess::NotRunning || (murmeli::test::hookPortIn(log) != 0 && done());
        },
        30000);
    murmeli.kill();
    murmeli.waitForFinished(5000);
    log += murmeli.readAllStandardError();
    return came;
}

} // namespace

// Taken for the default instead, a bad value would put this murmeli on the user's own port and status folder, while
// hooks given the same value would find nothing. 0 asks for any free port: murmeli says that only hooks given the one
// it took reach it.
TEST(OwnPlacesTest, AValueThatNamesNoPlaceIsRefusedAndSaid)
{
    const struct {
        const char* variable;
        const char* value;
        bool refused;
    } rows[] = {
        { "MURMELI_PORT", "abc", true },
        { "MURMELI_PORT", "65536", true },
        { "MURMELI_PORT", "-1", true },
        { "MURMELI_PORT", "010", true }, // eight to the hook scripts, ten to a reader of decimals
        { "MURMELI_PORT", " 19876", true },
        { "MURMELI_PORT", "19877\n", true }, // the hook scripts would not find it
        { "MURMELI_STATUS_DIR", "status-here", true },
        { "MURMELI_STATUS_DIR", "/", true },
        { "MURMELI_PORT", "0", false },
    };
    for (const auto& row : rows) {
        const QString setting = QString::fromLatin1(row.variable) + u'=' + QString::fromLatin1(row.value);
        SCOPED_TRACE(setting.toStdString());
        QTemporaryDir folder;
        QProcess murmeli;
        QByteArray log;
        ASSERT_TRUE(runUntil(murmeli, folder, QString::fromLatin1(row.variable), QString::fromLatin1(row.value), log))
            << "murmeli neither ended nor listened: " << log.constData();
        if (row.refused) {
            EXPECT_EQ(murmeli.exitStatus(), QProcess::NormalExit) << log.constData();
            EXPECT_EQ(murmeli.exitCode(), 1) << log.constData();
            EXPECT_TRUE(log.startsWith(("murmeli: " + setting + " is no ").toUtf8())) << log.constData();
            if (QDir::isRelativePath(QString::fromLatin1(row.value))) {
                EXPECT_FALSE(QFileInfo::exists(folder.filePath(QString::fromLatin1(row.value))));
            }
        } else {
            EXPECT_TRUE(
                log.contains(("[diag] startup: " + setting + ": murmeli listens on a port the system picks").toUtf8()))
                << log.constData();
        }
    }
}

// Root naming /tmp, or a user naming a folder of theirs: the folder is not murmeli's to set to 0700, nor is a file of
// the user's that begins with a session's key murmeli's to clean away; one that others may write to is refused.
TEST(OwnPlacesTest, AStatusFolderThatWasThereKeepsItsModeAndTheUsersFiles)
{
    const struct {
        mode_t mode;
        bool refused;
    } rows[] = { { 0755, false }, { 0777, true } };
    for (const auto& row : rows) {
        const auto octal = [](mode_t mode) { return QStringLiteral("0%1").arg(mode, 0, 8).toStdString(); };
        SCOPED_TRACE("mode " + octal(row.mode));
        QTemporaryDir folder;
        const QString named = folder.filePath(QStringLiteral("named"));
        ASSERT_TRUE(QDir().mkdir(named));
        ASSERT_EQ(::chmod(QFile::encodeName(named).constData(), row.mode), 0);
        // A session of an earlier run whose agent is gone, and the user's own report beside it.
        const QString record = named + QStringLiteral("/12345678-session.json");
        const QString report = named + QStringLiteral("/12345678-report.txt");
        for (const QString& path : { record, report }) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("{}") == 2);
            ASSERT_TRUE(
                file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        // Refused, the folder is never cleaned; otherwise the clean-up is done once the session's record is gone.
        QProcess murmeli;
        QByteArray log;
        ASSERT_TRUE(runUntil(murmeli, folder, QStringLiteral("MURMELI_STATUS_DIR"), named, log, [&] {
            return row.refused || !QFileInfo::exists(record);
        })) << log.constData();
        const QByteArray refusal = "status directory refused, session files are neither read nor written: "
            + QFile::encodeName(named) + " is writable by group or others";
        EXPECT_EQ(log.contains(refusal), row.refused) << log.constData();
        EXPECT_EQ(octal(modeOf(named)), octal(row.mode));
        EXPECT_TRUE(QFileInfo::exists(report));
    }
}
