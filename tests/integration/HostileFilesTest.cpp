#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/install/SettingsFileEdit.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptWatcher.h"
#include "main/voice/preferences/AppSettingsLoader.h"
#include "platform/audio/WavFile.h"
#include "platform/defaults/Defaults.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

// What a user or another program may leave where murmeli expects one of its files.
struct Hostile {
    const char* name;
    std::function<bool(const char* path)> plant;
};

const Hostile fifo { "a FIFO nobody writes to", [](const char* path) { return ::mkfifo(path, 0600) == 0; } };
const Hostile zeroDevice { "a link to /dev/zero", [](const char* path) { return ::symlink("/dev/zero", path) == 0; } };
const Hostile hostiles[] = {
    fifo,
    zeroDevice,
    // Beyond every reader's cap (the largest is 1 GiB) and sparse, so it costs no disk.
    { "a 2 GiB file",
        [](const char* path) {
            QFile file(QFile::decodeName(path));
            return file.open(QIODevice::WriteOnly) && file.resize(qint64(2) << 30);
        } },
    { "a folder", [](const char* path) { return ::mkdir(path, 0700) == 0; } },
    { "an unreadable file",
        [](const char* path) {
            // Root reads any file whatever its mode; this one opens as a regular file and fails on the first read.
            if (::geteuid() == 0) {
                return ::symlink("/proc/self/mem", path) == 0;
            }
            return QFile(QFile::decodeName(path)).open(QIODevice::WriteOnly) && ::chmod(path, 0) == 0;
        } },
};

bool plant(const Hostile& hostile, const QString& path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && hostile.plant(QFile::encodeName(path).constData());
}

qint64 residentBytes(pid_t pid = ::getpid())
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readLine().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

mode_t typeOf(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// One of the readers a user meets: where it looks below a home folder, and whether it came back with its neutral
// result (nothing read, the defaults, a refusal).
struct Reader {
    const char* name;
    const char* file;
    std::function<bool(const QString& home, const QString& path)> isNeutral;
};

const Reader readers[] = {
    { "defaults store", "config/murmeli/defaults.json",
        [](const QString&, const QString& path) {
            const platform::Defaults defaults(path);
            return defaults.keys().isEmpty() && !defaults.loadError().isEmpty();
        } },
    { "secret file", "data/murmeli/secrets/com.murmeli.apikey.secret",
        [](const QString& home, const QString&) {
            return !platform::FileSecretStore(home + QStringLiteral("/data/murmeli/secrets"))
                        .load(QStringLiteral("com.murmeli.apikey"), QStringLiteral("secret"))
                        .has_value();
        } },
    { "voice settings file", ".murmeli/settings.json",
        [](const QString&, const QString& path) {
            return voice::AppSettingsLoader::load(path) == voice::AppSettings::defaults();
        } },
    { "agent settings self-check", ".claude/settings.json",
        [](const QString&, const QString& path) {
            return hooks::HookSelfCheck::run(path).issues
                == QList { hooks::HookSelfCheck::Issue::settingsMissing(path) };
        } },
    { "agent settings editor", ".claude/settings.json",
        [](const QString&, const QString& path) {
            QString message;
            const auto addHook = [](hooks::JsonText& settings, QString*) {
                settings.insert(QStringLiteral("hooks"), hooks::JsonText::object());
                return true;
            };
            return hooks::SettingsFileEdit::edit(path, addHook, &message) == hooks::SettingsFileEdit::Outcome::Refused;
        } },
    { "session status file", "status/abcd1234-status.json",
        [](const QString& home, const QString&) {
            return !hooks::ClaudeStatus::read(
                QStringLiteral("abcd1234"), home + QStringLiteral("/status"), QDateTime::currentDateTimeUtc());
        } },
    { "transcript path file", "status/abcd1234-transcript-path.txt",
        [](const QString& home, const QString&) {
            return !hooks::TranscriptWatcher::lastUserMessagePrefix(
                QStringLiteral("abcd1234"), 40, home + QStringLiteral("/status"));
        } },
    { "sound file", "sounds/cue.wav",
        [](const QString&, const QString& path) { return !platform::WavFile::read(path); } },
};

} // namespace

// Every reader meets every hostile file and comes back at once with its neutral result, reading nothing into memory
// and leaving the file as it found it.
TEST(HostileFilesTest, EveryReaderReturnsItsNeutralResultAtOnce)
{
    const qint64 start = residentBytes();
    ASSERT_GT(start, 0);
    for (const Hostile& hostile : hostiles) {
        for (const Reader& reader : readers) {
            SCOPED_TRACE(std::string(reader.name) + " meets " + hostile.name);
            QTemporaryDir home;
            const QString path = home.filePath(QLatin1String(reader.file));
            ASSERT_TRUE(plant(hostile, path));
            const mode_t planted = typeOf(path);

            auto result = std::async(std::launch::async, [&] { return reader.isNeutral(home.path(), path); });
            if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                // The reader is stuck (on a FIFO) or still reading (a device): the process cannot end it cleanly.
                std::fprintf(stderr, "%s hangs on %s\n", reader.name, hostile.name);
                std::_Exit(EXIT_FAILURE);
            }
            EXPECT_TRUE(result.get());
            EXPECT_EQ(typeOf(path), planted);
            EXPECT_LT(residentBytes() - start, qint64(64) << 20);
        }
    }
}

// murmeli starts with its defaults file replaced by a FIFO or a link to /dev/zero: it says why it cannot use the file,
// keeps it aside, and goes on to start the hook server, without blocking or filling the memory.
TEST(HostileFilesTest, MurmeliStartsWithAHostileDefaultsFile)
{
    for (const Hostile& hostile : { fifo, zeroDevice }) {
        SCOPED_TRACE(hostile.name);
        QTemporaryDir home;
        const QString defaultsPath = home.filePath(QStringLiteral("config/murmeli/defaults.json"));
        ASSERT_TRUE(plant(hostile, defaultsPath));
        const mode_t planted = typeOf(defaultsPath);
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("run")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        // One murmeli runs per user: this one finds its lock apart from any other test's, and the tester's own.
        environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), home.filePath(QStringLiteral("instance")));
        // A status folder and any free hook port of its own: the user's murmeli has /tmp/murmeli and 19876.
        environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), home.filePath(QStringLiteral("status")));
        environment.insert(QStringLiteral("MURMELI_PORT"), QStringLiteral("0"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

        QProcess murmeli;
        murmeli.setProcessEnvironment(environment);
        murmeli.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray output;
        QObject::connect(&murmeli, &QProcess::readyRead, [&] { output += murmeli.readAll(); });
        murmeli.start(QStringLiteral(MURMELI_BINARY), {});
        ASSERT_TRUE(murmeli.waitForStarted(5000));

        EXPECT_TRUE(test::waitUntil(
            [&] { return output.contains("HookServer: listening on") || output.contains("HookServer: failed"); },
            30000))
            << output.constData();
        EXPECT_TRUE(output.contains("defaults unusable: " + QFile::encodeName(defaultsPath) + " is not a regular file"))
            << output.constData();
        EXPECT_EQ(murmeli.state(), QProcess::Running);
        EXPECT_LT(residentBytes(pid_t(murmeli.processId())), qint64(512) << 20);

        murmeli.terminate();
        if (!murmeli.waitForFinished(10000)) {
            murmeli.kill();
            murmeli.waitForFinished(5000);
        }
        // Nothing the user had is lost: the file is where it was, or aside once murmeli wrote defaults of its own.
        EXPECT_TRUE(typeOf(defaultsPath) == planted || typeOf(defaultsPath + QStringLiteral(".corrupt")) == planted);
    }
}
