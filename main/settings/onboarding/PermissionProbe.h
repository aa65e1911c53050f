#pragma once

#include <functional>
#include <optional>

#include <QString>

#include <QCoroTask>

#include "main/settings/onboarding/PermissionSnapshot.h"

namespace murmeli::common {
class Clock;
}
namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

/// What one probe found: whether the thing is there, and the device found or why it is not.
struct ProbeOutcome final {
    bool granted = false;
    QString detail;

    bool operator==(const ProbeOutcome&) const = default;
};

/// Where the probes ask. Each answers nullopt when nothing can tell (yet); an unset one is never asked.
struct PermissionSources final {
    /// Whether keys can be typed into other windows. May wait on the display server: asked off the main thread.
    std::function<std::optional<ProbeOutcome>()> injection;
    /// Whether a capture device exists. Must not wait: asked on the main thread.
    std::function<std::optional<ProbeOutcome>()> microphone;
    /// Whether the on-device recogniser's model is installed. May read the disk: asked off the main thread.
    std::function<std::optional<ProbeOutcome>()> recognizerModel;
};

/// Tells, without asking the user anything, how far murmeli holds what it needs. A state is granted only when the
/// probe itself found the thing; the ever-prompted flag only tells "not asked yet" from "refused".
namespace PermissionProbe {

/// Set once the user has asked murmeli to type into other windows; never cleared.
inline constexpr auto axEverPromptedKey = "permission.probe.ax.everPrompted";
/// A probe that has not answered by then counts as not determined.
inline constexpr qint64 timeLimitMs = 3000;

/// Granted when typing works; otherwise denied once the user has asked for it, else not determined.
Permission accessibility(const platform::Defaults& defaults, const std::optional<ProbeOutcome>& injection);
/// The desktop lets murmeli bring a terminal window to the front without a grant.
Permission automation();
/// Granted with a capture device, denied without one, not determined while nothing could tell.
Permission microphone(const std::optional<ProbeOutcome>& capture);
/// Granted with the recogniser's model installed, denied without it, not determined while nothing could tell.
Permission speechRecognition(const std::optional<ProbeOutcome>& model);

/// Asks every source once: the blocking ones off the main thread within timeLimitMs on clock, the microphone on the
/// calling thread. defaults and clock are used only before the first wait, so the caller may go while it waits.
QCoro::Task<PermissionSnapshot> snapshot(platform::Defaults& defaults, PermissionSources sources, common::Clock& clock);

} // namespace PermissionProbe

} // namespace murmeli::settings
