#pragma once

#include <functional>

class QObject;

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

/// The start-up gate: neither the panel nor the back end starts while the first-run onboarding window is open.
/// Completion is recorded only by the window's Finish; any close releases the gate, so a window closed otherwise
/// opens again at the next launch. Main thread only.
namespace OnboardingController {

inline constexpr auto completedKey = "onboarding.v1.completed";

/// Makes and shows one new onboarding window; the window calls onClose when it closes, whatever closed it.
using ShowWindow = std::function<void(bool isReopen, std::function<void()> onClose)>;

/// Whether an earlier Finish recorded completion; anything but true reads as not completed.
bool isCompleted(const platform::Defaults& defaults);
/// Completed: calls completion before it returns. Otherwise shows the first-run window and calls completion once,
/// on a later turn of context's event loop, after that window closed (not at all once context is gone).
void runIfNeeded(const platform::Defaults& defaults, const ShowWindow& showWindow, std::function<void()> completion,
    QObject* context);
/// Shows a new window marked as a reopening, whatever is recorded; an open one stays open. completion follows its
/// close as in runIfNeeded.
void forceReopen(const ShowWindow& showWindow, std::function<void()> completion, QObject* context);
/// Records completion; the window's Finish calls it before it closes.
void markCompleted(platform::Defaults& defaults);

} // namespace OnboardingController

} // namespace murmeli::settings
