#include "platform/audio/qt/SoundServerContact.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/audio/qt/QtAudioCapture.h"
#include "platform/audio/qt/QtAudioPlayer.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::platform::AudioFormat;
using murmeli::platform::AudioPlayer;
using murmeli::platform::QtAudioCapture;
using murmeli::platform::QtAudioPlayer;
using murmeli::test::waitUntil;

// Longer than any wait below: the streams' own limits must not be what ends them.
constexpr std::chrono::milliseconds streamLimit { 10000 };
constexpr int failureWaitMs = 6000;

// A PulseAudio of this process's own, with a speaker and a microphone, that the test can start, stop and start
// again. murmeli looks for it from the moment it is made, before it runs.
class PrivateSoundServer final {
public:
    PrivateSoundServer()
    {
        QFile script(m_dir.filePath(QStringLiteral("pulse.pa")));
        if (!script.open(QIODevice::WriteOnly)) {
            return;
        }
        script.write("load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket().toLocal8Bit()
            + "\nload-module module-null-sink sink_name=speaker\n"
              "load-module module-remap-source source_name=microphone master=speaker.monitor\n"
              "set-default-sink speaker\nset-default-source microphone\n");
        script.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_dir.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        // Off the session bus, whose PulseAudio name belongs to the desktop's own server.
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        environment.remove(QStringLiteral("DISPLAY"));
        m_server.setProcessEnvironment(environment);
        m_server.setProcessChannelMode(QProcess::ForwardedChannels);
        qputenv("PULSE_SERVER", "unix:" + socket().toLocal8Bit());
        qputenv("PULSE_COOKIE", m_dir.filePath(QStringLiteral("cookie")).toLocal8Bit());
    }
    ~PrivateSoundServer()
    {
        resume();
        m_server.kill();
        m_server.waitForFinished(5000);
    }
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    /// Starts the server; whether it answers a client. Its socket is there before it takes connections, so only an
    /// answer counts.
    bool start()
    {
        m_server.start(QStringLiteral("pulseaudio"),
            { QStringLiteral("-n"), QStringLiteral("-F"), m_dir.filePath(QStringLiteral("pulse.pa")),
                QStringLiteral("--daemonize=no"), QStringLiteral("--use-pid-file=no"),
                QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                QStringLiteral("--realtime=no"), QStringLiteral("--high-priority=no"),
                QStringLiteral("--log-level=0") });
        return m_server.waitForStarted(5000) && waitUntil([this] { return answers(); }, 20000);
    }
    /// The server keeps its connections but answers nothing, as a stopped or stuck one does.
    void pause() { ::kill(static_cast<pid_t>(m_server.processId()), SIGSTOP); }
    void resume() { ::kill(static_cast<pid_t>(m_server.processId()), SIGCONT); }

private:
    QString socket() const { return m_dir.filePath(QStringLiteral("native")); }
    bool answers()
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), { QStringLiteral("info") });
        return m_server.state() == QProcess::Running && pactl.waitForFinished(10000)
            && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QProcess m_server;
};

// Starts a stream on the server that has stopped answering since murmeli first heard from it; how it ended.
struct Stream {
    const char* what;
    std::function<QString(PrivateSoundServer&)> openOnStoppedServer;
};

QString captureFrom(PrivateSoundServer& server)
{
    QtAudioCapture capture(streamLimit);
    // The microphone check waits for the first contact with the server.
    if (!waitUntil([&] { return capture.checkAccess().granted; }, 10000)) {
        return QStringLiteral("no microphone: ") + capture.checkAccess().detail;
    }
    QString outcome;
    QObject::connect(
        &capture, &murmeli::platform::AudioCapture::failed, [&](const QString& error) { outcome = error; });
    server.pause();
    if (!capture.start()) {
        return capture.errorString();
    }
    return waitUntil([&] { return !outcome.isEmpty(); }, failureWaitMs) ? outcome : QStringLiteral("no word of it");
}

QString playTo(PrivateSoundServer& server)
{
    QtAudioPlayer player(streamLimit);
    if (!waitUntil([&] { return player.isAvailable(); }, 10000)) {
        return QStringLiteral("no speaker");
    }
    QString outcome;
    QObject::connect(&player, &AudioPlayer::failed, [&](const QString& error) { outcome = error; });
    server.pause();
    if (!player.play(AudioFormat::take(), murmeli::test::makeTone(440, 16000, 200, 0.3))) {
        return player.errorString();
    }
    return waitUntil([&] { return !outcome.isEmpty(); }, failureWaitMs) ? outcome : QStringLiteral("no word of it");
}

// Starts a stream while no sound server runs, then the server, then the stream again; how the second one ended.
struct LateStream {
    const char* what;
    std::function<QString(PrivateSoundServer&)> openAfterTheStart;
};

constexpr auto served = "served";

QString captureAfterTheStart(PrivateSoundServer& server)
{
    QtAudioCapture capture(streamLimit);
    if (!waitUntil([&] { return !capture.checkAccess().pending; }, 10000) || capture.checkAccess().granted) {
        return QStringLiteral("murmeli did not look for the server before it ran");
    }
    if (!server.start()) {
        return QStringLiteral("the test's sound server did not start");
    }
    if (!waitUntil([&] { return capture.checkAccess().granted; }, 10000)) {
        return QStringLiteral("no microphone: ") + capture.checkAccess().detail;
    }
    QString outcome;
    QObject::connect(&capture, &murmeli::platform::AudioCapture::pcmCaptured, [&] { outcome = served; });
    QObject::connect(
        &capture, &murmeli::platform::AudioCapture::failed, [&](const QString& error) { outcome = error; });
    if (!capture.start()) {
        return capture.errorString();
    }
    return waitUntil([&] { return !outcome.isEmpty(); }, failureWaitMs) ? outcome : QStringLiteral("no word of it");
}

QString playOnce(QtAudioPlayer& player)
{
    QString outcome;
    const QMetaObject::Connection ended = QObject::connect(&player, &AudioPlayer::finished, [&] { outcome = served; });
    const QMetaObject::Connection failed
        = QObject::connect(&player, &AudioPlayer::failed, [&](const QString& error) { outcome = error; });
    if (!player.play(AudioFormat::take(), murmeli::test::makeTone(440, 16000, 200, 0.3))) {
        outcome = player.errorString();
    }
    waitUntil([&] { return !outcome.isEmpty(); }, failureWaitMs);
    QObject::disconnect(ended);
    QObject::disconnect(failed);
    return outcome.isEmpty() ? QStringLiteral("no word of it") : outcome;
}

QString playAfterTheStart(PrivateSoundServer& server)
{
    QtAudioPlayer player(streamLimit);
    if (playOnce(player) == QLatin1String(served)) {
        return QStringLiteral("murmeli played before the server ran");
    }
    if (!server.start()) {
        return QStringLiteral("the test's sound server did not start");
    }
    return playOnce(player);
}

// Qt keeps one client of the server per process, so each case gets a child process and a server of its own.
class SoundServerContactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
            const char* why = "no pulseaudio and pactl to run a sound server of the test's own (scripts/setup "
                              "installs them)";
            if (qEnvironmentVariableIsSet("MURMELI_CI")) {
                FAIL() << why;
            }
            GTEST_SKIP() << why;
        }
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

// A stream is opened only on a sound server that has just answered: on one that stopped answering after murmeli
// first heard from it, opening the microphone or the speaker fails within a second or two and says why, rather than
// leaving the sound thread waiting on the server for good.
TEST_F(SoundServerContactTest, AStreamIsOpenedOnlyOnASoundServerThatAnswersNow)
{
    const Stream streams[] = { { "microphone", captureFrom }, { "speaker", playTo } };
    for (const Stream& stream : streams) {
        SCOPED_TRACE(stream.what);
        EXPECT_EXIT(
            {
                QString outcome = QStringLiteral("the test's sound server did not start");
                QElapsedTimer took;
                {
                    PrivateSoundServer server;
                    took.start();
                    if (server.start()) {
                        outcome = stream.openOnStoppedServer(server);
                    }
                }
                std::fprintf(stderr, "outcome=%s (%lld ms from the server's start)\n", qPrintable(outcome),
                    static_cast<long long>(took.elapsed()));
                // The sound thread may still wait on the server that was; there is nothing more to run.
                std::_Exit(outcome.contains(QLatin1String(murmeli::platform::SoundServerContact::silent)) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "outcome=the sound server \\(PulseAudio or PipeWire\\) does not answer");
    }
}

// murmeli started before the desktop's sound server (both at login) finds no server, and the first stream opened
// once the server answers is served: the microphone as soon as its check says so, the speaker at once.
TEST_F(SoundServerContactTest, ASoundServerThatStartsAfterMurmeliServesTheNextStream)
{
    const LateStream streams[] = { { "microphone", captureAfterTheStart }, { "speaker", playAfterTheStart } };
    for (const LateStream& stream : streams) {
        SCOPED_TRACE(stream.what);
        EXPECT_EXIT(
            {
                QString outcome;
                {
                    PrivateSoundServer server;
                    outcome = stream.openAfterTheStart(server);
                }
                std::fprintf(stderr, "outcome=%s\n", qPrintable(outcome));
                std::_Exit(outcome == QLatin1String(served) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "outcome=served");
    }
}

} // namespace
