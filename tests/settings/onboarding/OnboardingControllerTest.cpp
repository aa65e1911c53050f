#include "main/settings/onboarding/OnboardingController.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <QObject>
#include <QTemporaryDir>

#include "platform/defaults/Defaults.h"
#include "tests/support/Wait.h"

using namespace murmeli;
namespace OnboardingController = settings::OnboardingController;

namespace {

// Records every window the gate asks for; a test closes them through their callbacks.
struct Windows {
    struct Shown {
        bool isReopen;
        std::function<void()> close;
    };

    OnboardingController::ShowWindow show()
    {
        return [this](bool isReopen, std::function<void()> onClose) {
            shown.push_back({ isReopen, std::move(onClose) });
        };
    }

    std::vector<Shown> shown;
};

struct Gate {
    QTemporaryDir dir;
    platform::Defaults defaults { dir.path() + QStringLiteral("/defaults.json") };
    Windows windows;
    QObject context;
    int completions = 0;
    std::function<void()> completion = [this] { ++completions; };
};

} // namespace

// Completed on an earlier launch: the completion runs before the call returns and no window is made. Anything but
// true is not completed.
TEST(OnboardingControllerTest, ACompletedOnboardingPassesTheGateAtOnce)
{
    Gate gate;
    gate.defaults.setValue(QLatin1String(OnboardingController::completedKey), 1);
    EXPECT_FALSE(OnboardingController::isCompleted(gate.defaults));
    OnboardingController::markCompleted(gate.defaults);
    OnboardingController::runIfNeeded(gate.defaults, gate.windows.show(), gate.completion, &gate.context);
    EXPECT_EQ(gate.completions, 1);
    EXPECT_TRUE(gate.windows.shown.empty());
}

// A first run shows one window and passes the gate once, after its close and not inside it, however often the close
// reports; nothing is recorded by a close. A reopening shows a new window beside an open one, each with its own
// completion, and none runs once its receiver is gone.
TEST(OnboardingControllerTest, EachWindowReleasesItsCompletionOnceAfterItCloses)
{
    Gate gate;
    OnboardingController::runIfNeeded(gate.defaults, gate.windows.show(), gate.completion, &gate.context);
    ASSERT_EQ(gate.windows.shown.size(), 1u);
    EXPECT_FALSE(gate.windows.shown[0].isReopen);
    gate.windows.shown[0].close();
    gate.windows.shown[0].close();
    EXPECT_EQ(gate.completions, 0);
    ASSERT_TRUE(test::waitUntil([&] { return gate.completions == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(gate.completions, 1);
    EXPECT_FALSE(OnboardingController::isCompleted(gate.defaults));

    OnboardingController::markCompleted(gate.defaults);
    int reopened = 0;
    OnboardingController::forceReopen(
        gate.windows.show(), [&] { ++reopened; }, &gate.context);
    OnboardingController::forceReopen(
        gate.windows.show(), [&] { reopened += 10; }, &gate.context);
    ASSERT_EQ(gate.windows.shown.size(), 3u);
    EXPECT_TRUE(gate.windows.shown[1].isReopen && gate.windows.shown[2].isReopen);
    gate.windows.shown[2].close();
    ASSERT_TRUE(test::waitUntil([&] { return reopened == 10; }));
    gate.windows.shown[1].close();
    ASSERT_TRUE(test::waitUntil([&] { return reopened == 11; }));

    auto gone = std::make_unique<QObject>();
    OnboardingController::forceReopen(
        gate.windows.show(), [&] { reopened = -1; }, gone.get());
    gone.reset();
    gate.windows.shown.back().close();
    QCoreApplication::processEvents();
    EXPECT_EQ(reopened, 11);
}
