// Push-to-talk from the release of F13 to the text in a terminal, on the test desktop: the real X11 keys, focus
// detection, clipboard and paste into an xterm running cat, with a fake microphone and a scripted recogniser that
// answers at once, so what is measured is murmeli's own time. For each take it reports
//   release → text    the key's release reaching murmeli until the last character is in the terminal's file,
//   release → result  ending the recording and handing it to the recogniser until its text is back,
//   result → text     the flow, the commit window and the paste,
// and murmeli's own time beyond the recogniser: release → text minus the commit window (target < 50 ms).
//   ptt_latency [TAKES=20]        (bench/ptt-latency runs it inside scripts/desktop)

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include "bench/WorkerChild.h"
#include "main/app/AppController.h"
#include "main/voice/flow/VoiceFlowCoordinator.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "platform/secrets/fake/FakeSecretStore.h"

using namespace murmeli;
using bench::nowMs;
using bench::spinUntil;

namespace {

const QString sentence = QStringLiteral("run the tests again");

// A desktop tool to its end while the event loop runs (this process may own the selection it asks for).
bool tool(const QStringList& arguments)
{
    QProcess process;
    process.start(arguments.first(), arguments.mid(1));
    return process.waitForStarted(5000) && spinUntil([&] { return process.state() == QProcess::NotRunning; }, 10000)
        && process.exitCode() == 0;
}

void report(const char* name, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) { return values[std::min(values.size() - 1, size_t(share * values.size()))]; };
    std::printf("%-38s median %7.1f ms   p90 %7.1f ms   max %7.1f ms\n", name, at(0.5), at(0.9), values.back());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const int takes = std::max(1, app.arguments().value(1, "20").toInt());
    if (qEnvironmentVariable("MURMELI_TEST_DESKTOP") != QLatin1String("1")) {
        std::printf("ptt_latency: skipped, not inside the test desktop (%s)\n",
            qPrintable(qEnvironmentVariable("MURMELI_TEST_DESKTOP_UNAVAILABLE")));
        return 0;
    }

    QTemporaryDir dir;
    auto recognizer = std::make_shared<platform::FakeSpeechRecognizer>();
    app::AppController::Dependencies dependencies;
    dependencies.secrets = std::make_shared<platform::FakeSecretStore>();
    dependencies.clock = std::make_shared<common::SystemClock>();
    dependencies.hookPort = 0;
    dependencies.statusDirectory = dir.filePath(QStringLiteral("status"));
    dependencies.legacyStatusPath = dir.filePath(QStringLiteral("legacy-status.json"));
    dependencies.processTable = []() -> QCoro::Task<std::optional<hooks::ProcessTable>> { co_return std::nullopt; };
    dependencies.defaults = std::make_shared<platform::Defaults>(dir.filePath(QStringLiteral("defaults.json")));
    dependencies.agentSettingsPath = dir.filePath(QStringLiteral("claude-settings.json"));
    dependencies.appSettingsPath = dir.filePath(QStringLiteral("murmeli-settings.json"));
    dependencies.pttLogDirectory = dir.filePath(QStringLiteral("logs"));
    dependencies.takeDirectory = dir.path();
    dependencies.recognizer = recognizer;
    dependencies.audioCapture = [] {
        auto capture = std::make_unique<platform::FakeAudioCapture>();
        capture->setSource(platform::AudioFormat::take(), QByteArray(32000 * 2, '\x11'));
        return capture;
    };
    app::AppController controller(std::move(dependencies));
    // Only what went wrong reaches the output; routine lines would cost the time measured.
    controller.onLog = [](const QString& message, common::LogColor color) {
        if (color == common::LogColor::Red || color == common::LogColor::Orange) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    };
    controller.startBackend(QString());
    if (!spinUntil(
            [&] { return controller.speech().authStatus() == platform::RecognizerAuthorization::Authorized; }, 5000)) {
        std::fprintf(stderr, "ptt_latency: the microphone was not granted\n");
        return 1;
    }

    // Time stamps where murmeli's own work begins and where the recogniser hands back.
    double released = 0;
    double resulted = 0;
    platform::GlobalHotkeys& hotkeys = *controller.dictation().desktopVoice().desktop().hotkeys;
    const auto onReleased = hotkeys.onReleased;
    hotkeys.onReleased = [&](platform::HotkeyId id) {
        released = nowMs();
        onReleased(id);
    };
    const auto onResult = controller.speech().onResult;
    controller.speech().onResult = [&](const QString& text) {
        resulted = nowMs();
        onResult(text);
    };

    const QString typed = dir.filePath(QStringLiteral("typed.txt"));
    QProcess terminal;
    terminal.start(QStringLiteral("xterm"),
        { QStringLiteral("-name"), QStringLiteral("murmeli-bench"), QStringLiteral("-e"), QStringLiteral("sh"),
            QStringLiteral("-c"), QStringLiteral("stty -icanon -echo; exec cat >> ") + typed });
    QByteArray window;
    const bool shown = spinUntil(
        [&] {
            QProcess search;
            search.start(QStringLiteral("xdotool"),
                { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--classname"),
                    QStringLiteral("murmeli-bench") });
            search.waitForFinished(5000);
            window = search.readAllStandardOutput().split('\n').value(0).trimmed();
            return !window.isEmpty();
        },
        10000);
    if (!shown || !tool({ "xdotool", "windowactivate", "--sync", QString::fromLatin1(window) })) {
        std::fprintf(stderr, "ptt_latency: the terminal did not come to the front\n");
        return 1;
    }

    std::vector<double> total;
    std::vector<double> toResult;
    std::vector<double> toText;
    std::vector<double> own;
    for (int take = 0; take < takes; ++take) {
        recognizer->queue(platform::PresetRecognitionOutcome::recognised(sentence));
        const qint64 before = QFileInfo(typed).size();
        tool({ "xdotool", "keydown", "XF86Tools" });
        if (!spinUntil([&] { return controller.vm().pttActive(); }, 5000)) {
            std::fprintf(stderr, "ptt_latency: F13 started no take\n");
            return 1;
        }
        bench::idleFor(600);
        tool({ "xdotool", "keyup", "XF86Tools" });
        if (!spinUntil([&] { return QFileInfo(typed).size() >= before + sentence.size(); }, 10000)) {
            std::fprintf(stderr, "ptt_latency: take %d never reached the terminal\n", take + 1);
            return 1;
        }
        const double arrived = nowMs();
        total.push_back(arrived - released);
        toResult.push_back(resulted - released);
        toText.push_back(arrived - resulted);
        own.push_back(arrived - released - voice::VoiceFlowCoordinator::escCancelWindowMsRaw);
        // The restore of the clipboard and the flow's return to idle before the next take.
        spinUntil([&] { return controller.dictation().road().flow().currentState().is<voice::VoiceFlowState::Idle>(); },
            5000);
        bench::idleFor(600);
    }
    std::printf("ptt_latency: %d takes into an xterm (file polled every 5 ms at most)\n", takes);
    report("release → text", total);
    report("release → result (recogniser ~0)", toResult);
    report("result → text (window + paste)", toText);
    report("murmeli's own (release → text − 500)", own);
    terminal.kill();
    terminal.waitForFinished(5000);
    return 0;
}
