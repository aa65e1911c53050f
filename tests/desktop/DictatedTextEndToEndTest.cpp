// What a take's text does on the way into a terminal, on the test desktop: F13 held with xdotool reaches murmeli's
// grab, the take is recorded from the desktop's microphone and uploaded to the cloud worker (a stand-in on
// 127.0.0.1 that answers with a scripted transcript), and the text is pasted into an xterm. The transcript's line
// feed must not run the command, Esc after the key's release must cancel the take and stay away from the terminal,
// the user's selection must come back after a paste, and a clipboard owner that never answers must cost the
// snapshot its budget, not the application its main thread.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "main/app/AppController.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/recognizer/RecognitionTypes.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/DesktopTools.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockTranscribeRoute.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace murmeli {
namespace {

using test::runTool;
using test::waitUntil;

constexpr int outcomeLimitMs = 30000;

class DictatedTextEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        for (const char* tool : { "xdotool", "xclip", "xterm" }) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        ASSERT_TRUE(root.isValid());
        keyboard.emplace(test::DesktopLock::keyboardAndClipboard);
        ASSERT_TRUE(keyboard->isHeld()) << "another test kept the keyboard";
        ASSERT_TRUE(worker.start());

        auto dependencies = test::controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
        dependencies.desktop = &platform::makeDesktopServices;
        dependencies.audioCapture = {};
        dependencies.takeDirectory = root.path();
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->onLog = [this](const QString& message, common::LogColor) { logs << message; };
        controller->startBackend(QString());
        ASSERT_FALSE(logs.filter(QStringLiteral("PTT: F13 cannot be used")).size()) << logs.join('\n').toStdString();
        voice::SpeechEngine& speech = controller->speech();
        speech.setCloudWorkerURL(worker.baseUrl());
        speech.setCloudToken(QStringLiteral("tok"));
        speech.setActiveBackendId(QString::fromLatin1(voice::SpeechBackends::cloudId));
        speech.setPreferStreaming(false);
        ASSERT_TRUE(waitUntil([&] { return speech.authStatus() == platform::RecognizerAuthorization::Authorized; }));
    }

    void TearDown() override
    {
        // A key left down by a failed test would start takes in the next one.
        runTool(QStringLiteral("xdotool"), { QStringLiteral("keyup"), QStringLiteral("XF86Tools") });
        if (hog.state() != QProcess::NotRunning) {
            hog.kill();
            hog.waitForFinished(5000);
        }
    }

    void focus(quint64 window)
    {
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(test::activateWindow(window));
    }

    // F13 held for a short sentence's time, then let go.
    void holdTake()
    {
        ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keydown"), QStringLiteral("XF86Tools") }));
        ASSERT_TRUE(waitUntil([&] { return controller->vm().pttActive(); }));
        QElapsedTimer held;
        held.start();
        waitUntil([&] { return held.elapsed() >= 800; }, 2000);
        ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keyup"), QStringLiteral("XF86Tools") }));
    }

    static QByteArray fileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static std::optional<QByteArray> selection(const char* which)
    {
        return runTool(
            QStringLiteral("xclip"), { QStringLiteral("-o"), QStringLiteral("-selection"), QLatin1String(which) });
    }

    QTemporaryDir root;
    std::optional<test::DesktopLock> keyboard;
    test::MockCloudWorker worker;
    test::MockTranscribeRoute transcribe { worker };
    std::unique_ptr<app::AppController> controller;
    QStringList logs;
    QProcess hog;
};

// sh in an xterm has no bracketed paste: a line feed pasted into it is Enter. The command sits on the prompt until
// the user presses Enter, and the user's highlighted text is the selection again afterwards.
TEST_F(DictatedTextEndToEndTest, ATranscriptsLineFeedDoesNotRunItAndTheSelectionComesBack)
{
    const QString planted = root.filePath(QStringLiteral("planted"));
    transcribe.script().transcript = QStringLiteral("touch ") + planted + QStringLiteral("\n");
    ASSERT_TRUE(runTool(QStringLiteral("xclip"),
        { QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("primary") }, "highlighted words"));
    test::Xterm terminal(QStringLiteral("murmeli-e2e"), {}, QStringLiteral("exec sh"));
    focus(terminal.waitForWindow());

    holdTake();
    ASSERT_TRUE(
        waitUntil([&] { return !logs.filter(QStringLiteral("Voice commit: touch")).isEmpty(); }, outcomeLimitMs))
        << logs.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([&] { return selection("primary") == QByteArray("highlighted words"); }, 5000))
        << "the selection is " << selection("primary").value_or("nothing").constData();
    EXPECT_FALSE(waitUntil([&] { return QFile::exists(planted); }, 1500)) << "the line feed ran the command";

    // The words did arrive, as one line: the user's own Enter runs them.
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Return") }));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(planted); }, 5000));
}

TEST_F(DictatedTextEndToEndTest, EscWhileTheTextIsOnItsWayCancelsTheTakeAndNeverReachesTheTerminal)
{
    transcribe.script().answer = test::MockTranscribeRoute::Answer::Hang;
    transcribe.script().hangMs = 3000;
    transcribe.script().transcript = QStringLiteral("git push --force");
    const QString typed = root.filePath(QStringLiteral("typed.bin"));
    // Every byte the terminal gets, Escape included, lands in the file at once.
    test::Xterm terminal(QStringLiteral("murmeli-e2e"), {}, QStringLiteral("stty raw -echo; exec cat > ") + typed);
    focus(terminal.waitForWindow());

    holdTake();
    ASSERT_TRUE(waitUntil([&] { return !transcribe.uploads().empty(); }, outcomeLimitMs))
        << logs.join('\n').toStdString();
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Escape") }));
    ASSERT_TRUE(waitUntil([&] { return logs.contains(QStringLiteral("VoiceFlow: cancelled by esc_key")); }))
        << logs.join('\n').toStdString();
    // The worker answers later; its text is dropped.
    ASSERT_TRUE(waitUntil([&] { return logs.contains(QStringLiteral("PTT: text of no running take dropped")); }, 10000))
        << logs.join('\n').toStdString();
    EXPECT_FALSE(waitUntil([&] { return !fileBytes(typed).isEmpty(); }, 1000)) << fileBytes(typed).toHex().constData();

    // Once the take is over Esc is the terminal's again.
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Escape") }));
    EXPECT_TRUE(waitUntil([&] { return fileBytes(typed) == QByteArray("\x1b"); }, 5000))
        << fileBytes(typed).toHex().constData();
}

TEST_F(DictatedTextEndToEndTest, AClipboardOwnerThatNeverAnswersCostsTheSnapshotNotTheApplication)
{
    if (QByteArray(MURMELI_SELECTION_HOG).isEmpty()) {
        GTEST_SKIP() << "built without xcb: no program to hold the clipboard";
    }
    transcribe.script().transcript = QStringLiteral("ls -la");
    const QString typed = root.filePath(QStringLiteral("typed.txt"));
    test::Xterm terminal(QStringLiteral("murmeli-e2e"), {}, QStringLiteral("stty -icanon -echo; exec cat > ") + typed);
    focus(terminal.waitForWindow());
    hog.start(QStringLiteral(MURMELI_SELECTION_HOG), { QStringLiteral("CLIPBOARD") });
    ASSERT_TRUE(hog.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return hog.readAllStandardOutput().contains("owned"); }, 10000));

    // The longest the main thread went without handling its events, from the key's release to the paste.
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
    holdTake();
    sinceTick.start();
    ticker.start();
    ASSERT_TRUE(waitUntil([&] { return fileBytes(typed) == QByteArray("ls -la"); }, outcomeLimitMs))
        << fileBytes(typed).constData() << "\n"
        << logs.join('\n').toStdString();
    ticker.stop();
    EXPECT_LT(longestGapMs, 1000) << "the main thread waited on the clipboard's owner";
    EXPECT_TRUE(waitUntil([&] { return !logs.filter(QStringLiteral("clipboard's owner did not answer")).isEmpty(); }))
        << logs.join('\n').toStdString();
}

// The terminal the take was for closes before its text comes back: the text reaches no other window and stays on the
// clipboard, the panel says so, and the take's log line says it was not pasted.
TEST_F(DictatedTextEndToEndTest, TextWhoseTerminalClosedStaysOnTheClipboardAndReachesNoOtherWindow)
{
    transcribe.script().answer = test::MockTranscribeRoute::Answer::Hang;
    transcribe.script().hangMs = 3000;
    transcribe.script().transcript = QStringLiteral("git reset --hard");
    ASSERT_TRUE(runTool(QStringLiteral("xclip"),
        { QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard") }, "copied before"));
    const QString behind = root.filePath(QStringLiteral("behind.bin"));
    test::Xterm other(QStringLiteral("murmeli-behind"), {}, QStringLiteral("stty raw -echo; exec cat > ") + behind);
    focus(other.waitForWindow());
    std::optional<test::Xterm> terminal;
    terminal.emplace(QStringLiteral("murmeli-e2e"), QStringList {}, QStringLiteral("exec sh"));
    focus(terminal->waitForWindow());

    holdTake();
    ASSERT_TRUE(waitUntil([&] { return !transcribe.uploads().empty(); }, outcomeLimitMs))
        << logs.join('\n').toStdString();
    terminal.reset();
    ASSERT_TRUE(waitUntil(
        [&] { return !logs.filter(QStringLiteral("Voice commit: git reset --hard")).isEmpty(); }, outcomeLimitMs))
        << logs.join('\n').toStdString();
    EXPECT_EQ(controller->vm().modeBHintText(), QStringLiteral("git reset --hard"));
    // Well past the moment the clipboard would have been given back.
    EXPECT_FALSE(waitUntil([&] { return !fileBytes(behind).isEmpty(); }, 1500)) << fileBytes(behind).constData();
    EXPECT_EQ(selection("clipboard"), QByteArray("git reset --hard"));

    ASSERT_TRUE(controller->dictation().road().pttLog().waitForAppends(5000));
    const QDir logDir(root.filePath(QStringLiteral("ptt-logs")));
    const QJsonObject take
        = QJsonDocument::fromJson(fileBytes(logDir.filePath(logDir.entryList(QDir::Files).value(0)))).object();
    EXPECT_FALSE(take[QStringLiteral("success")].toBool());
    EXPECT_TRUE(take[QStringLiteral("error")].toString().startsWith(QStringLiteral("not pasted")))
        << take[QStringLiteral("error")].toString().toStdString();
}

} // namespace
} // namespace murmeli
