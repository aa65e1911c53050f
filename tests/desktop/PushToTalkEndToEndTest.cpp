// Push-to-talk from the key to the text, on the test desktop with nothing faked but the recogniser where no
// on-device model is installed: F13 pressed with xdotool reaches murmeli's grab, flite's sentence is played into
// the sound server and recorded from its microphone, and after the commit window the text is pasted into an xterm
// that runs cat, or left on the clipboard when no terminal is in front. The user's clipboard, checked with xclip,
// comes back after a paste.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/recognizer/SpeechRecognizerFactory.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/DesktopTools.h"
#include "tests/support/SpeakerLock.h"
#include "tests/support/SpokenAudio.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace murmeli {
namespace {

using test::runTool;
using test::waitUntil;

// One the packaged on-device model hears word for word.
const QString sentence = test::SpokenAudio::recognisableSentences().value(4);
// The share of the said words that must reach the terminal when a real recogniser hears them.
constexpr double requiredWordAccuracy = 0.75;
constexpr int recognitionLimitMs = 60000;
const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489");

class PushToTalkEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        for (const char* tool : { "flite", "paplay", "xdotool", "xclip", "xterm", "xmessage" }) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        ASSERT_TRUE(root.isValid());
        keyboard.emplace(test::DesktopLock::keyboardAndClipboard);
        ASSERT_TRUE(keyboard->isHeld()) << "another test kept the keyboard";
        speaker.emplace();
        ASSERT_TRUE(speaker->isHeld()) << "another test kept the speaker";
        const QString spoken = test::SpokenAudio::speakToWav(sentence, wav);
        ASSERT_TRUE(spoken.isEmpty()) << spoken.toStdString();

        std::shared_ptr<platform::SpeechRecognizer> recognizer = platform::makeSpeechRecognizer();
        realRecognizer = recognizer->isAvailable() && recognizer->supportsLocale(QStringLiteral("en-US"));
        if (!realRecognizer) {
            // Everything but the words themselves is still real: the key, the audio, the desktop and the paste.
            auto scripted = std::make_shared<platform::FakeSpeechRecognizer>();
            scripted->queue(platform::PresetRecognitionOutcome::recognised(sentence));
            recognizer = scripted;
        }
        auto dependencies = test::controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
        dependencies.desktop = &platform::makeDesktopServices;
        dependencies.audioCapture = {};
        dependencies.recognizer = recognizer;
        dependencies.takeDirectory = root.path();
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->onLog = [this](const QString& message, common::LogColor) { logs << message; };
        controller->startBackend(QString());
        ASSERT_FALSE(logs.filter(QStringLiteral("PTT: F13 cannot be used")).size()) << logs.join('\n').toStdString();
        ASSERT_TRUE(waitUntil(
            [&] { return controller->speech().authStatus() == platform::RecognizerAuthorization::Authorized; }));
    }

    void TearDown() override
    {
        // A key left down by a failed test would start takes in the next one.
        runTool(QStringLiteral("xdotool"), { QStringLiteral("keyup"), QStringLiteral("XF86Tools") });
    }

    // Brings the window to the front, through the window manager, as a user's click would.
    void focus(quint64 window)
    {
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(test::activateWindow(window));
    }

    // The take's own file, while it records.
    qint64 recordedBytes() const
    {
        const QStringList files = controller->speech().takeFiles().files();
        return files.isEmpty() ? 0 : QFileInfo(files.first()).size();
    }

    // F13 down, the sentence into the speaker, F13 up: one take, as a user holding the key speaks it.
    void speakTake()
    {
        ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keydown"), QStringLiteral("XF86Tools") }));
        ASSERT_TRUE(waitUntil([&] { return controller->vm().pttActive(); }));
        // The capture runs once audio comes in; what is played before that would be lost.
        ASSERT_TRUE(waitUntil([&] { return recordedBytes() > 44 + 3200; }, 10000)) << "the capture hears nothing";
        const qint64 before = recordedBytes();
        QProcess player;
        player.start(QStringLiteral("paplay"), { wav });
        ASSERT_TRUE(player.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return player.state() == QProcess::NotRunning; }, 20000));
        // What was played, and a little silence, has come through: 16 kHz 16-bit mono, a second is 32000 bytes.
        const qint64 said = QFileInfo(wav).size() * 16000 / 22050;
        ASSERT_TRUE(waitUntil([&] { return recordedBytes() >= before + said + 16000; }, 10000));
        ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keyup"), QStringLiteral("XF86Tools") }));
    }

    void expectSentence(const QString& text) const
    {
        if (realRecognizer) {
            EXPECT_GE(test::SpokenAudio::wordAccuracy(sentence, text), requiredWordAccuracy)
                << "heard \"" << text.toStdString();
        } else {
            EXPECT_EQ(text, sentence);
        }
    }

    QString fileText(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir root;
    // Keys, focus and clipboard, and the speaker the sentence is played into, belong to this test while it runs.
    std::optional<test::DesktopLock> keyboard;
    std::optional<test::SpeakerLock> speaker;
    QString wav = root.filePath(QStringLiteral("said.wav"));
    bool realRecognizer = false;
    std::unique_ptr<app::AppController> controller;
    QStringList logs;
};

TEST_F(PushToTalkEndToEndTest, TheSpokenSentenceArrivesInTheTerminalAndTheClipboardComesBack)
{
    ASSERT_TRUE(runTool(QStringLiteral("xclip"),
        { QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), QStringLiteral("image/png"),
            QStringLiteral("-i") },
        png));
    const QString typed = root.filePath(QStringLiteral("typed.txt"));
    // Without canonical mode cat gets every character at once, no Enter needed (the flow never sends one).
    test::Xterm terminal(QStringLiteral("murmeli-e2e"), {}, QStringLiteral("stty -icanon -echo; exec cat > ") + typed);
    focus(terminal.waitForWindow());

    speakTake();
    ASSERT_TRUE(waitUntil([&] { return !fileText(typed).isEmpty(); }, recognitionLimitMs))
        << logs.join('\n').toStdString();
    // The paste arrives in one piece; give the terminal a moment to write all of it.
    const QString text = fileText(typed);
    waitUntil([&] { return fileText(typed) != text; }, 200);
    expectSentence(fileText(typed));
    EXPECT_TRUE(logs.contains(QStringLiteral("PTT: start (trigger=f13, mic=local, Mode A · terminal · XTerm)")))
        << logs.join('\n').toStdString();

    const auto clipboard = [] {
        return runTool(QStringLiteral("xclip"),
            { QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                QStringLiteral("image/png"), QStringLiteral("-o") });
    };
    EXPECT_TRUE(waitUntil([&] { return clipboard() == png; }, 5000)) << "the user's image is back on the clipboard";
    ASSERT_TRUE(controller->dictation().road().pttLog().waitForAppends(5000));
}

TEST_F(PushToTalkEndToEndTest, EscInsideTheCommitWindowLeavesTheTerminalAlone)
{
    const QString typed = root.filePath(QStringLiteral("typed.txt"));
    test::Xterm terminal(QStringLiteral("murmeli-e2e"), {}, QStringLiteral("stty -icanon -echo; exec cat > ") + typed);
    focus(terminal.waitForWindow());

    speakTake();
    ASSERT_TRUE(waitUntil([&] { return !controller->vm().awaitingCommitText().isEmpty(); }, recognitionLimitMs));
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Escape") }));
    ASSERT_TRUE(waitUntil([&] { return logs.contains(QStringLiteral("VoiceFlow: cancelled by esc_key")); }))
        << logs.join('\n').toStdString();
    // Well past the commit window nothing has come, not even the Esc: murmeli held it while it mattered.
    EXPECT_FALSE(waitUntil([&] { return !fileText(typed).isEmpty(); }, 1500)) << fileText(typed).toStdString();
    EXPECT_TRUE(controller->vm().awaitingCommitText().isEmpty());
}

TEST_F(PushToTalkEndToEndTest, WithoutATerminalInFrontTheTextStaysOnTheClipboardWithTheNotice)
{
    QProcess note;
    note.start(QStringLiteral("xmessage"),
        { QStringLiteral("-name"), QStringLiteral("murmeli-e2e-note"), QStringLiteral("no terminal here") });
    ASSERT_TRUE(note.waitForStarted(5000));
    std::optional<QByteArray> found;
    ASSERT_TRUE(waitUntil([&] {
        found = runTool(QStringLiteral("xdotool"),
            { QStringLiteral("search"), QStringLiteral("--classname"), QStringLiteral("murmeli-e2e-note") });
        return found && !found->trimmed().isEmpty();
    }));
    focus(found->split('\n').value(0).trimmed().toULongLong());

    speakTake();
    ASSERT_TRUE(waitUntil([&] { return !controller->vm().modeBHintText().isEmpty(); }, recognitionLimitMs))
        << logs.join('\n').toStdString();
    expectSentence(controller->vm().modeBHintText());
    const auto clipboardText = [] {
        const auto text = runTool(QStringLiteral("xclip"),
            { QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o") });
        return QString::fromUtf8(text.value_or(QByteArray()));
    };
    expectSentence(clipboardText());
    // Nothing takes it back later: past the time a paste's clipboard would have been restored it is still there.
    EXPECT_FALSE(waitUntil([&] { return clipboardText() != controller->vm().modeBHintText(); }, 1000));
    note.kill();
    note.waitForFinished(5000);
}

} // namespace
} // namespace murmeli
