#include "main/settings/onboarding/PermissionProbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <semaphore>

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include "platform/defaults/Defaults.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::PermissionState;
using settings::ProbeOutcome;
namespace PermissionProbe = settings::PermissionProbe;

namespace {

constexpr auto G = PermissionState::Granted;
constexpr auto D = PermissionState::Denied;
constexpr auto N = PermissionState::NotDetermined;

struct Store {
    QTemporaryDir dir;
    platform::Defaults defaults { dir.path() + QStringLiteral("/defaults.json") };
};

} // namespace

// A state is granted only when the probe found the thing. For typing into other windows the ever-prompted flag
// tells a refusal from "not asked yet", and an answer that cannot be had counts as refused once asked.
TEST(PermissionProbeTest, StatesFollowWhatTheProbeFound)
{
    const std::optional<ProbeOutcome> yes = ProbeOutcome { true, QStringLiteral("found") };
    const std::optional<ProbeOutcome> no = ProbeOutcome { false, QStringLiteral("why not") };
    const std::optional<ProbeOutcome> unknown;
    struct Row {
        std::optional<ProbeOutcome> outcome;
        bool everPrompted;
        PermissionState accessibility;
        PermissionState found;
    };
    const Row rows[] = {
        { yes, false, G, G },
        { yes, true, G, G },
        { no, false, N, D },
        { no, true, D, D },
        { unknown, false, N, N },
        { unknown, true, D, N },
    };
    for (const Row& row : rows) {
        Store store;
        store.defaults.setValue(QLatin1String(PermissionProbe::axEverPromptedKey), row.everPrompted);
        const settings::Permission typing = PermissionProbe::accessibility(store.defaults, row.outcome);
        const std::string label = (row.outcome ? row.outcome->detail.toStdString() : "unknown")
            + (row.everPrompted ? " asked" : " not asked");
        EXPECT_EQ(typing.state, row.accessibility) << label;
        EXPECT_EQ(PermissionProbe::microphone(row.outcome).state, row.found) << label;
        EXPECT_EQ(PermissionProbe::speechRecognition(row.outcome).state, row.found) << label;
        EXPECT_EQ(typing.detail, row.outcome ? row.outcome->detail : QString()) << label;
    }
    EXPECT_EQ(PermissionProbe::automation().state, PermissionState::NotNeeded);

    EXPECT_EQ(settings::permissionStateFromString(QStringLiteral("Granted")), std::nullopt);

    // A flag that is not a boolean was never set.
    Store odd;
    odd.defaults.setValue(QLatin1String(PermissionProbe::axEverPromptedKey), QStringLiteral("true"));
    EXPECT_EQ(PermissionProbe::accessibility(odd.defaults, no).state, N);
}

// The blocking probes run off the main thread at once; one that hangs past the time limit counts as not
// determined, and its late answer changes nothing. The microphone is asked on the calling thread.
TEST(PermissionProbeTest, ASnapshotAsksOffTheMainThreadWithinTheTimeLimit)
{
    Store store;
    test::FakeClock clock;
    // The hanging probe outlives the snapshot on its pool thread, and on a loaded machine it may be let go only after
    // this test has ended: what it touches is its own.
    struct Probes {
        std::counting_semaphore<2> release { 0 };
        std::atomic<bool> injectionOnMain = true;
        std::atomic<bool> injectionAsked = false;
        std::atomic<bool> injectionAnswered = false;
        std::atomic<bool> modelOnMain = true;
    };
    const auto probes = std::make_shared<Probes>();
    // However the test ends, the hanging probe is let go: the pool waits for its threads when the process exits.
    const auto letGo = qScopeGuard([probes] { probes->release.release(); });
    QThread* main = QThread::currentThread();
    bool microphoneOnMain = false;
    settings::PermissionSources sources;
    sources.injection = [probes, main]() -> std::optional<ProbeOutcome> {
        probes->injectionOnMain = QThread::currentThread() == main;
        probes->injectionAsked = true;
        probes->release.acquire();
        probes->injectionAnswered = true;
        return ProbeOutcome { true, QStringLiteral("late") };
    };
    sources.recognizerModel = [probes, main]() -> std::optional<ProbeOutcome> {
        probes->modelOnMain = QThread::currentThread() == main;
        return ProbeOutcome { true, QStringLiteral("model found") };
    };
    sources.microphone = [&]() -> std::optional<ProbeOutcome> {
        microphoneOnMain = QThread::currentThread() == main;
        return ProbeOutcome { false, QStringLiteral("no input device") };
    };

    auto result = test::keepResult(PermissionProbe::snapshot(store.defaults, sources, clock));
    EXPECT_TRUE(microphoneOnMain);
    // On a loaded machine the pool may start the hanging probe only after the others have answered.
    ASSERT_TRUE(test::waitUntil([&] { return !probes->modelOnMain && probes->injectionAsked; }, 30000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(result->has_value()) << "waits for the hanging probe";
    clock.advance(PermissionProbe::timeLimitMs - 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(result->has_value());
    clock.advance(1);
    ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }, 30000));

    // The late answer comes and changes nothing.
    probes->release.release();
    ASSERT_TRUE(test::waitUntil([&] { return probes->injectionAnswered.load(); }, 30000));
    QCoreApplication::processEvents();
    const settings::PermissionSnapshot& snapshot = **result;
    EXPECT_FALSE(probes->injectionOnMain);
    EXPECT_EQ(snapshot.accessibility, (settings::Permission { N, {} }));
    EXPECT_EQ(snapshot.speechRecognition, (settings::Permission { G, QStringLiteral("model found") }));
    EXPECT_EQ(snapshot.microphone, (settings::Permission { D, QStringLiteral("no input device") }));
    EXPECT_EQ(snapshot.automation.state, PermissionState::NotNeeded);
    EXPECT_EQ(clock.pendingTimers(), 0);

    // Unset sources are never asked and tell nothing.
    auto empty = test::keepResult(PermissionProbe::snapshot(store.defaults, {}, clock));
    ASSERT_TRUE(test::waitUntil([&] { return empty->has_value(); }));
    EXPECT_EQ((*empty)->microphone.state, N);
    EXPECT_EQ((*empty)->speechRecognition.state, N);
}

// The onboarding window that asked may go, and murmeli's settings and clock with it, while a probe still hangs (the
// window closed, murmeli quitting): the late answer ends the snapshot without touching what went. Caught as a use
// after free by the sanitizer build (scripts/build --sanitize address,undefined).
TEST(PermissionProbeTest, ASnapshotOutlivesTheSettingsAndClockItWasGiven)
{
    auto store = std::make_unique<Store>();
    store->defaults.setValue(QLatin1String(PermissionProbe::axEverPromptedKey), true);
    auto clock = std::make_unique<test::FakeClock>();
    struct Probe {
        std::binary_semaphore release { 0 };
        std::atomic<bool> asked = false;
    };
    const auto probe = std::make_shared<Probe>();
    const auto letGo = qScopeGuard([probe] { probe->release.release(); });
    settings::PermissionSources sources;
    sources.injection = [probe]() -> std::optional<ProbeOutcome> {
        probe->asked = true;
        probe->release.acquire();
        return ProbeOutcome { false, QStringLiteral("refused") };
    };

    auto result = test::keepResult(PermissionProbe::snapshot(store->defaults, sources, *clock));
    ASSERT_TRUE(test::waitUntil([&] { return probe->asked.load(); }, 30000));
    store.reset();
    clock.reset();
    probe->release.release();
    ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }, 30000));
    // The flag was read when the probes were asked.
    EXPECT_EQ((*result)->accessibility, (settings::Permission { D, QStringLiteral("refused") }));
}
