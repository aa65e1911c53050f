#include "main/voice/flow/VoiceFlowCoordinator.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>

#include <QCoroTask>

#include "main/common/OneShot.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingVoiceInjector.h"

namespace murmeli::voice {
namespace {

// Keeps every request; the test answers them, in any order.
class ScriptedPolisher final : public VoicePolisher {
public:
    struct Request {
        QString rawText;
        int durationMs = 0;
        EnhanceGateInputs gate;
        EnhanceRequestInput request;
        Completion completion;
    };
    explicit ScriptedPolisher(std::vector<Request>& requests) : m_requests(requests) { }
    void polish(QString rawText, int durationMs, QMap<QString, int>, EnhanceGateInputs gateInputs,
        EnhanceRequestInput request, Completion completion) override
    {
        m_requests.push_back({ rawText, durationMs, gateInputs, request, completion });
    }

private:
    std::vector<Request>& m_requests;
};

const FocusTarget xterm { QStringLiteral("terminal"), QStringLiteral("XTerm"), std::nullopt, 7 };

PolishGateContext signedIn()
{
    return { true, QStringLiteral("cloud-streaming"), true, { { QStringLiteral("kubectl"), 25 } },
        QStringLiteral("https://worker.example"), QStringLiteral("tok") };
}

struct Harness {
    explicit Harness(bool withPolisher = true, VoiceMode mode = ModeA { xterm })
        : flow(
            [this, mode]() -> QCoro::Task<VoiceMode> {
                ++detections;
                if (holdDetection) {
                    co_await detectionGate;
                }
                co_return mode;
            },
            injector, withPolisher ? std::make_unique<ScriptedPolisher>(requests) : nullptr,
            VoiceFlowClock::over(clock), [this](const QString& line) { logs << line; })
    {
        // Only what the tests look at; the owner's handling of the rest is tested with the controller.
        flow.onRecordingStateChange
            = [this](bool on, const QString&) { events << QStringLiteral("recording %1").arg(on); };
        flow.onCancelled = [this](const QString& reason) { events << QStringLiteral("cancelled ") + reason; };
        flow.onMaxDurationTimeout = [this] { events << QStringLiteral("cap"); };
    }

    // A take that records for ms and ends with text.
    void take(qint64 ms, const QString& text, bool success = true, PolishGateContext gate = signedIn())
    {
        flow.start();
        clock.advance(ms);
        flow.stop(text, success, QStringLiteral("zh-CN"), gate);
    }
    void answer(std::size_t request, std::optional<QString> reply)
    {
        requests.at(request).completion(std::move(reply));
        QCoreApplication::processEvents();
    }
    bool logged(const QString& part) const
    {
        return std::any_of(logs.begin(), logs.end(), [&](const QString& line) { return line.contains(part); });
    }

    test::FakeClock clock;
    test::RecordingVoiceInjector injector;
    std::vector<ScriptedPolisher::Request> requests;
    int detections = 0;
    bool holdDetection = false;
    common::OneShot<bool> detectionGate;
    QStringList logs;
    QStringList events;
    VoiceFlowCoordinator flow;
};

TEST(VoiceFlowCoordinatorTest, TheEndOfATakeDecidesPolishWindowAndPaste)
{
    const std::optional<QString> noReply;
    struct Row {
        const char* name;
        qint64 recordMs;
        QString text;
        bool success;
        bool withPolisher;
        bool loggedIn;
        bool polishAsked;
        std::optional<QString> reply;
        std::optional<QString> pasted; // nullopt: the take ends without a paste
        qint64 windowMs;
    };
    const Row rows[] = {
        { "2999 ms stays raw", 2999, "hello", true, true, true, false, noReply, "hello", 500 },
        { "3000 ms is polished", 3000, "hello", true, true, true, true, "Hello.", "Hello.", 950 },
        { "polisher answers nothing", 4000, "hello", true, true, true, true, noReply, "hello", 500 },
        { "polisher answers blanks", 4000, "hello", true, true, true, true, " \n", "hello", 500 },
        { "signed out", 4000, "hello", true, true, false, false, noReply, "hello", 500 },
        { "no polisher", 4000, "hello", true, false, true, false, noReply, "hello", 500 },
        { "failed recognition", 4000, "hello", false, true, true, false, noReply, std::nullopt, 0 },
        { "empty transcript", 4000, "", true, true, true, false, noReply, std::nullopt, 0 },
        { "untrimmed blank transcript is still text", 1000, " ", true, true, true, false, noReply, " ", 500 },
    };
    for (const Row& row : rows) {
        Harness h(row.withPolisher);
        PolishGateContext gate = signedIn();
        gate.cloudLoggedIn = row.loggedIn;
        h.take(row.recordMs, row.text, row.success, gate);
        ASSERT_EQ(h.requests.size(), row.polishAsked ? 1u : 0u) << row.name;
        if (row.polishAsked) {
            EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Polishing>()) << row.name;
            EXPECT_EQ(h.requests[0].gate.durationMs, row.recordMs) << row.name;
            EXPECT_EQ(h.requests[0].request.hotwords, gate.hotwords) << row.name;
            EXPECT_EQ(h.requests[0].request.locale, "zh-CN") << row.name;
            h.clock.advance(6000); // the flow sets no limit of its own on the polish
            h.answer(0, row.reply);
        }
        if (!row.pasted) {
            EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Idle>()) << row.name;
            h.clock.advance(2000);
            EXPECT_TRUE(h.injector.pasted.isEmpty()) << row.name;
            continue;
        }
        const auto* waiting = h.flow.currentState().as<VoiceFlowState::AwaitingCommit>();
        ASSERT_NE(waiting, nullptr) << row.name;
        EXPECT_EQ(waiting->deadlineMs, h.clock.monotonicMs() + row.windowMs) << row.name;
        h.clock.advance(row.windowMs - 1);
        EXPECT_TRUE(h.injector.pasted.isEmpty()) << row.name << ": Esc may still cancel";
        h.clock.advance(1);
        EXPECT_EQ(h.injector.pasted, QStringList { *row.pasted }) << row.name;
        EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Idle>()) << row.name;
        EXPECT_EQ(h.clock.pendingTimers(), 0) << row.name << ": the cap is gone with the take";
    }
}

TEST(VoiceFlowCoordinatorTest, CancelAbandonsTheTakeUnlessItIsIdleOrInjecting)
{
    enum class At { Idle, Recording, Polishing, AwaitingCommit, Injecting };
    struct Row {
        const char* name;
        At at;
        bool cancelled;
        const char* pasted; // nullptr: nothing
    };
    const Row rows[] = {
        { "idle", At::Idle, false, nullptr },
        { "recording", At::Recording, true, nullptr },
        { "polishing", At::Polishing, true, nullptr },
        { "awaiting commit", At::AwaitingCommit, true, nullptr },
        { "injecting", At::Injecting, false, "hello" },
    };
    for (const Row& row : rows) {
        Harness h;
        h.injector.hold = true;
        switch (row.at) {
        case At::Idle:
            break;
        case At::Recording:
            h.flow.start();
            break;
        case At::Polishing:
            h.take(3000, QStringLiteral("hello"));
            break;
        case At::AwaitingCommit:
            h.take(1000, QStringLiteral("hello"));
            break;
        case At::Injecting:
            h.take(1000, QStringLiteral("hello"));
            h.clock.advance(500);
            break;
        }
        h.flow.cancel(QStringLiteral("esc_key"));
        EXPECT_EQ(h.events.contains(QStringLiteral("cancelled esc_key")), row.cancelled) << row.name;
        EXPECT_EQ(h.logged(QStringLiteral("cancel(esc_key) ignored")), !row.cancelled) << row.name;
        // Whatever was still running of the take comes in late and must change nothing.
        if (!h.requests.empty()) {
            h.answer(0, QStringLiteral("Hello."));
            EXPECT_TRUE(h.logged(QStringLiteral("polish reply arrived in state=idle, drop"))) << row.name;
        }
        h.clock.advance(60000);
        h.injector.release();
        QCoreApplication::processEvents();
        EXPECT_EQ(h.injector.pasted, row.pasted ? QStringList { row.pasted } : QStringList {}) << row.name;
        EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Idle>()) << row.name;
        EXPECT_FALSE(h.events.contains(QStringLiteral("cap"))) << row.name;
    }
}

TEST(VoiceFlowCoordinatorTest, LeftoversOfACancelledTakeNeverActOnTheNextOne)
{
    // A polish reply of the cancelled take arrives while the next take is polishing.
    {
        Harness h;
        h.take(3000, QStringLiteral("first"));
        h.flow.cancel();
        h.take(3000, QStringLiteral("second"));
        ASSERT_EQ(h.requests.size(), 2u);
        h.answer(0, QStringLiteral("First!"));
        EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Polishing>());
        EXPECT_TRUE(h.logged(QStringLiteral("polish reply of take 1 arrived during take 2, drop")));
        h.answer(1, QStringLiteral("Second!"));
        h.clock.advance(950);
        EXPECT_EQ(h.injector.pasted, QStringList { "Second!" });
    }
    // The window timer of the cancelled take fires inside the next take's window with the same text.
    {
        Harness h;
        h.take(1000, QStringLiteral("same"));
        h.flow.cancel();
        h.take(100, QStringLiteral("same")); // its window ends 100 ms after the first one's
        h.clock.advance(499);
        EXPECT_TRUE(h.logged(QStringLiteral("awaitingCommit window of take 1 expired during take 2")));
        EXPECT_TRUE(h.injector.pasted.isEmpty()) << "the second take's Esc window is still open";
        h.clock.advance(1);
        EXPECT_EQ(h.injector.pasted, QStringList { "same" });
    }
}

TEST(VoiceFlowCoordinatorTest, AStartDuringATakeKeepsThatTakeAndItsCap)
{
    Harness h(true, ModeB { ModeBReason::NoEditableFocus });
    EXPECT_EQ(QCoro::waitFor(h.flow.start()), VoiceMode(ModeB { ModeBReason::NoEditableFocus }));
    const auto recording = *h.flow.currentState().as<VoiceFlowState::Recording>();
    EXPECT_EQ(recording.targetName, QString::fromUtf8(VoiceFlowCoordinator::clipboardTargetName));
    h.clock.advance(30000);
    EXPECT_EQ(QCoro::waitFor(h.flow.start()), VoiceMode(ModeB { ModeBReason::NoEditableFocus }));
    EXPECT_EQ(h.detections, 1);
    EXPECT_EQ(h.flow.currentState().as<VoiceFlowState::Recording>()->startedAtMs, recording.startedAtMs);
    h.clock.advance(29999);
    EXPECT_FALSE(h.events.contains(QStringLiteral("cap")));
    h.clock.advance(1);
    EXPECT_EQ(h.events.count(QStringLiteral("cap")), 1) << "the first start's cap stands";
    // The cap only asks the owner to stop: the take records until it does, and a second stop finds it gone.
    EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Recording>());
    h.flow.stop(QStringLiteral("note"), true, QStringLiteral("zh-CN"), PolishGateContext {});
    h.flow.stop(QStringLiteral("note"), true, QStringLiteral("zh-CN"), PolishGateContext {});
    EXPECT_TRUE(h.logged(QStringLiteral("stop() ignored, state=awaitingCommit")));
    h.clock.advance(500);
    EXPECT_EQ(h.injector.copied, QStringList { "note · noEditableFocus" });
}

TEST(VoiceFlowCoordinatorTest, WhatArrivesWhileTheTargetIsFoundWaitsForIt)
{
    struct Row {
        const char* name;
        bool stop;
        bool cancel;
        const char* pasted; // nullptr: nothing
    };
    const Row rows[] = {
        { "stop", true, false, "quick" },
        { "cancel", false, true, nullptr },
        { "cancel, then stop", true, true, nullptr },
    };
    for (const Row& row : rows) {
        Harness h;
        h.holdDetection = true;
        h.flow.start();
        EXPECT_TRUE(h.flow.isStarting()) << row.name;
        EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Idle>()) << row.name;
        h.clock.advance(800);
        if (row.cancel) {
            h.flow.cancel(QStringLiteral("esc_key"));
        }
        if (row.stop) {
            h.flow.stop(QStringLiteral("quick"), true, QStringLiteral("en-US"), signedIn());
        }
        EXPECT_TRUE(h.events.isEmpty()) << row.name;
        h.detectionGate.fulfil(true);
        EXPECT_FALSE(h.flow.isStarting()) << row.name;
        EXPECT_EQ(h.events.contains(QStringLiteral("cancelled esc_key")), row.cancel) << row.name;
        h.clock.advance(60000);
        EXPECT_EQ(h.injector.pasted, row.pasted ? QStringList { row.pasted } : QStringList {}) << row.name;
        EXPECT_TRUE(h.flow.currentState().is<VoiceFlowState::Idle>()) << row.name;
        EXPECT_FALSE(h.events.contains(QStringLiteral("cap"))) << row.name;
        EXPECT_EQ(h.clock.pendingTimers(), 0) << row.name;
    }
    // The cap counts from the start, not from the moment the target was known.
    Harness h;
    h.holdDetection = true;
    h.flow.start();
    h.clock.advance(1000);
    h.detectionGate.fulfil(true);
    h.clock.advance(58999);
    EXPECT_FALSE(h.events.contains(QStringLiteral("cap")));
    h.clock.advance(1);
    EXPECT_TRUE(h.events.contains(QStringLiteral("cap")));
}

TEST(VoiceFlowCoordinatorTest, TargetNamesAndModeTexts)
{
    struct Row {
        VoiceMode mode;
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        { ModeB { ModeBReason::DetectionFailed }, VoiceFlowCoordinator::clipboardTargetName,
            "Mode B · detectionFailed" },
        { ModeA { { "terminal", "org.gnome.Terminal", std::nullopt, std::nullopt } }, "Terminal",
            "Mode A · terminal · org.gnome.Terminal" },
        { ModeA { { "terminal", "XTerm", std::nullopt, std::nullopt } }, "XTerm", "Mode A · terminal · XTerm" },
        { ModeA { { "terminal", "...", std::nullopt, std::nullopt } }, "...", "Mode A · terminal · ..." },
        { ModeA { { "entry", std::nullopt, std::nullopt, std::nullopt } }, "entry", "Mode A · entry · —" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(VoiceFlowCoordinator::targetNameOf(row.mode), QString::fromUtf8(row.name)) << row.text;
        EXPECT_EQ(VoiceFlowCoordinator::describe(row.mode), QString::fromUtf8(row.text));
    }
}

} // namespace
} // namespace murmeli::voice
