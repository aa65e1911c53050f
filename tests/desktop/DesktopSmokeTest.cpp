#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUuid>
#include <QWidget>
#include <QWindow>

#include <QMouseEvent>

#include "main/common/ProcessRunner.h"
#include "platform/overlay/OverlayServicesFactory.h"
#include "platform/secrets/SecretStoreFactory.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/SpeakerLock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Tone.h"
#include "tests/support/Wait.h"

namespace {

using murmeli::test::waitUntil;

constexpr int sampleRate = 48000;
constexpr double toneHz = 440;
// 100 ms holds a whole number of the tone's periods, so the tone sits exactly on the Goertzel frequency.
constexpr qsizetype windowSamples = sampleRate / 10;

class DesktopSmokeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = murmeli::test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
    }
};

// The child's standard output without the trailing newline, or nullopt when it failed.
std::optional<QByteArray> outputOf(const QString& program, const QStringList& arguments)
{
    murmeli::common::ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    const murmeli::common::ProcessResult result = murmeli::common::runProcessBlocking(request);
    if (!result.succeeded()) {
        return std::nullopt;
    }
    return result.standardOutput.trimmed();
}

std::optional<quint64> activeWindow()
{
    static const QRegularExpression windowId(QStringLiteral("#\\s*0x([0-9a-fA-F]+)"));
    const std::optional<QByteArray> property
        = outputOf(QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW") });
    const QRegularExpressionMatch match = windowId.match(QString::fromUtf8(property.value_or(QByteArray())));
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return match.captured(1).toULongLong(nullptr, 16);
}

TEST_F(DesktopSmokeTest, QtWindowBecomesTheActiveWindow)
{
    // Other tests' windows would take the focus from this one.
    const murmeli::test::DesktopLock keyboard(murmeli::test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keyboard.isHeld()) << "another test kept the keyboard";
    QWidget window;
    window.setWindowTitle(QStringLiteral("murmeli desktop smoke test"));
    window.resize(320, 200);
    window.show();
    window.activateWindow();

    std::optional<quint64> active;
    EXPECT_TRUE(waitUntil(
        [&] {
            active = activeWindow();
            return active == quint64(window.winId());
        },
        10000))
        << "_NET_ACTIVE_WINDOW names " << (active ? QString::number(*active, 16).toStdString() : "nothing")
        << ", the window is " << QString::number(window.winId(), 16).toStdString();
}

// The display's clock, as the overlay services read it, is the one the display stamps a click with: a real click on
// a window lands between two readings taken around it.
TEST_F(DesktopSmokeTest, TheDisplaysClockIsTheOneItStampsClicksWith)
{
    const murmeli::test::DesktopLock keyboard(murmeli::test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keyboard.isHeld()) << "another test kept the keyboard";
    const murmeli::platform::OverlayServices overlay = murmeli::platform::makeOverlayServices();
    ASSERT_TRUE(overlay.displayClock->isAvailable());
    struct Target final : QWidget {
        void mousePressEvent(QMouseEvent* event) override { stamp = event->timestamp(); }
        std::optional<quint64> stamp;
    } window;
    window.setGeometry(100, 100, 320, 200);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isVisible() && window.windowHandle()->isExposed(); }));
    const std::optional<quint32> before = overlay.displayClock->displayTimeMs();
    const QPoint centre = window.mapToGlobal(window.rect().center());
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                  { QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(centre.x()),
                      QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1") }),
        0);
    ASSERT_TRUE(waitUntil([&] { return window.stamp.has_value(); }));
    const std::optional<quint32> after = overlay.displayClock->displayTimeMs();
    ASSERT_TRUE(before && after);
    EXPECT_LE(*before, *window.stamp);
    EXPECT_LE(*window.stamp, *after);
}

TEST_F(DesktopSmokeTest, ToneFromTheSpeakerComesBackFromTheMicrophone)
{
    const murmeli::test::SpeakerLock speaker;
    ASSERT_TRUE(speaker.isHeld()) << "another test kept the speaker";
    // Qt offers no monitor source as an input, so the default source has to be the remapped one.
    const QByteArray source = outputOf(QStringLiteral("pactl"), { QStringLiteral("get-default-source") }).value_or("");
    EXPECT_FALSE(source.isEmpty());
    EXPECT_FALSE(source.endsWith(".monitor")) << source.constData();

    const QStringList format = { QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
        QStringLiteral("--rate=%1").arg(sampleRate), QStringLiteral("--channels=1") };
    QProcess recorder;
    recorder.start(QStringLiteral("parecord"), format + QStringList { QStringLiteral("--latency-msec=20") });
    ASSERT_TRUE(recorder.waitForStarted(5000)) << recorder.errorString().toStdString();
    QByteArray recorded;
    const auto drain = [&] { recorded += recorder.readAllStandardOutput(); };

    // Once a window of silence has come in the recording runs, and the tone cannot be in what came before it.
    const qsizetype silenceBytes = windowSamples * qsizetype(sizeof(qint16));
    waitUntil(
        [&] {
            drain();
            return recorded.size() >= silenceBytes || recorder.state() == QProcess::NotRunning;
        },
        10000);
    ASSERT_GE(recorded.size(), silenceBytes) << "parecord: " << recorder.readAllStandardError().constData();
    const qsizetype playedAt = recorded.size() / qsizetype(sizeof(qint16));

    // The tone goes to the server whole: with a short latency, a player that a busy machine runs late would hand it
    // over in pieces, with silence between them where no window holds the tone.
    QProcess player;
    player.start(QStringLiteral("paplay"), format + QStringList { QStringLiteral("--latency-msec=1000") });
    ASSERT_TRUE(player.waitForStarted(5000)) << player.errorString().toStdString();
    player.write(murmeli::test::makeTone(toneHz, sampleRate, 400, 0.5));
    player.closeWriteChannel();

    std::vector<qint16> samples;
    std::optional<qsizetype> toneAt;
    const bool heard = waitUntil(
        [&] {
            drain();
            samples = murmeli::test::samplesOf(recorded);
            toneAt = murmeli::test::findTone(samples, playedAt, toneHz, sampleRate);
            return toneAt.has_value();
        },
        10000);
    recorder.kill();
    recorder.waitForFinished(5000);
    EXPECT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().constData();

    ASSERT_TRUE(heard) << "no " << toneHz << " Hz tone in " << samples.size() - size_t(playedAt)
                       << " samples recorded after it was played";
    const auto toneWindow = std::span(samples).subspan(*toneAt, windowSamples);
    EXPECT_LT(murmeli::test::toneShare(toneWindow, 1000, sampleRate), 0.05);
    EXPECT_FALSE(murmeli::test::findTone(std::span(samples).first(playedAt), 0, toneHz, sampleRate).has_value());
}

TEST_F(DesktopSmokeTest, SecretStoredThroughLibsecretReadsBack)
{
    // The file store could be forced from outside; this test is about the Secret Service.
    const QByteArray forced = qgetenv("MURMELI_SECRETS_BACKEND");
    qunsetenv("MURMELI_SECRETS_BACKEND");
    const auto restore = qScopeGuard([&] {
        if (!forced.isNull()) {
            qputenv("MURMELI_SECRETS_BACKEND", forced);
        }
    });

    const std::unique_ptr<murmeli::platform::SecretStore> store = murmeli::platform::makeSecretStore();
    ASSERT_EQ(store->backendName().toStdString(), "secret-service");
    const QString service
        = QStringLiteral("com.murmeli.test.desktop-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    const QString account = QStringLiteral("smoke");
    const QByteArray value = QUuid::createUuid().toByteArray(QUuid::Id128);

    ASSERT_TRUE(store->save(service, account, value));
    // Another store and another client of the service both find the item.
    EXPECT_EQ(murmeli::platform::makeSecretStore()->load(service, account), value);
    EXPECT_EQ(outputOf(QStringLiteral("secret-tool"),
                  { QStringLiteral("lookup"), QStringLiteral("service"), service, QStringLiteral("account"), account }),
        value);
    EXPECT_TRUE(store->remove(service, account));
    EXPECT_EQ(store->load(service, account), std::nullopt);
}

} // namespace
