#include "main/app/ptt/DesktopDictation.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/voice/injection/SystemVoiceTextInjector.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

namespace murmeli::app {
namespace {

using platform::ClipboardMode;

// When the display refuses the clipboard, a paste sends no key (it would paste the old content) and a copy is not
// reported as done: the panel says so, the words stay on the selection where it takes them, and no log line holds
// more of them than the first 40 characters the paste lines always show.
TEST(DesktopDictationTest, ARefusedClipboardIsReportedAndTheWordsAreKept)
{
    const QString said = QStringLiteral("please list all the files in this folder and sort them by size");
    struct Row {
        const char* name;
        bool terminalInFront;
        bool selectionWritable;
        const char* title;
        QString selection;
    };
    const Row rows[] {
        { "copy, selection free", false, true, voice::SystemVoiceTextInjector::inSelectionTitle, said },
        { "copy, selection refused too", false, false, voice::SystemVoiceTextInjector::notCopiedTitle, "mine" },
        { "paste, selection free", true, true, voice::SystemVoiceTextInjector::inSelectionTitle, said },
        { "paste, selection refused too", true, false, voice::SystemVoiceTextInjector::notCopiedTitle, "mine" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir root;
        const auto clock = std::make_shared<test::FakeClock>();
        const auto desktop = std::make_shared<platform::FakeDesktop>();
        const auto recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
        recognizer->queue(platform::PresetRecognitionOutcome::recognised(said));
        AppController::Dependencies dependencies
            = test::controllerDependencies(root, std::make_shared<platform::FakeSecretStore>(), clock);
        dependencies.desktop = [desktop] { return test::fakeDesktopServices(desktop); };
        dependencies.recognizer = recognizer;
        AppController controller(std::move(dependencies));
        QStringList logs;
        controller.onLog = [&](const QString& message, common::LogColor) { logs << message; };
        desktop->copyFromOtherProgram(ClipboardMode::Clipboard, { platform::FakeDesktop::plainText("theirs") });
        desktop->copyFromOtherProgram(ClipboardMode::Selection, { platform::FakeDesktop::plainText("mine") });
        desktop->setWritable(ClipboardMode::Clipboard, false);
        desktop->setWritable(ClipboardMode::Selection, row.selectionWritable);
        if (row.terminalInFront) {
            desktop->addWindow({ 0x400001, QStringLiteral("xterm"), QStringLiteral("XTerm"), 4242, {} });
            desktop->setActiveWindow(0x400001);
        }
        controller.startBackend(QString());
        ASSERT_TRUE(test::waitUntil(
            [&] { return controller.speech().authStatus() == platform::RecognizerAuthorization::Authorized; }));

        // F13 held for a second and a half, then the commit window.
        ASSERT_TRUE(desktop->press(platform::KeyChord::f13()));
        ASSERT_TRUE(controller.vm().pttActive());
        clock->advance(1500);
        desktop->release(platform::KeyChord::f13());
        ASSERT_TRUE(test::waitUntil([&] { return !controller.vm().awaitingCommitText().isEmpty(); }));
        clock->advance(500);
        ASSERT_TRUE(test::waitUntil([&] { return !controller.vm().modeBHintText().isEmpty(); }))
            << logs.join('\n').toStdString();

        EXPECT_EQ(controller.vm().modeBHintText(), QString::fromUtf8(row.title) + QStringLiteral(": ") + said);
        EXPECT_EQ(desktop->text(ClipboardMode::Clipboard), QStringLiteral("theirs"));
        EXPECT_EQ(desktop->text(ClipboardMode::Selection), row.selection);
        EXPECT_TRUE(logs.filter(said).isEmpty()) << logs.filter(said).join('\n').toStdString();
        EXPECT_TRUE(desktop->sentChords().isEmpty());
    }
}

} // namespace
} // namespace murmeli::app
