#include "main/settings/onboarding/PermissionProbe.h"

#include "main/common/OffThread.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings::PermissionProbe {

namespace {

using Answer = std::optional<ProbeOutcome>;

Permission found(const Answer& answer, PermissionState otherwise)
{
    if (!answer) {
        return { PermissionState::NotDetermined, {} };
    }
    return { answer->granted ? PermissionState::Granted : otherwise, answer->detail };
}

bool everPrompted(const platform::Defaults& defaults)
{
    return defaults.boolValue(QLatin1String(axEverPromptedKey)).value_or(false);
}

Permission typing(bool everPrompted, const Answer& injection)
{
    Permission result = found(injection, PermissionState::Denied);
    if (result.state != PermissionState::Granted) {
        result.state = everPrompted ? PermissionState::Denied : PermissionState::NotDetermined;
    }
    return result;
}

QCoro::Task<Answer> askOffThread(std::function<Answer()> source, common::Clock& clock)
{
    if (!source) {
        co_return std::nullopt;
    }
    co_return co_await common::runOffThreadWithin<Answer>(std::move(source), clock, timeLimitMs, std::nullopt);
}

} // namespace

Permission accessibility(const platform::Defaults& defaults, const std::optional<ProbeOutcome>& injection)
{
    return typing(everPrompted(defaults), injection);
}

Permission automation()
{
    return { PermissionState::NotNeeded,
        QStringLiteral("Terminal windows are brought to the front without a grant on this desktop.") };
}

Permission microphone(const std::optional<ProbeOutcome>& capture)
{
    return found(capture, PermissionState::Denied);
}

Permission speechRecognition(const std::optional<ProbeOutcome>& model)
{
    return found(model, PermissionState::Denied);
}

QCoro::Task<PermissionSnapshot> snapshot(platform::Defaults& defaults, PermissionSources sources, common::Clock& clock)
{
    // Both blocking probes run at once; the snapshot waits for the slower, at most the time limit.
    QCoro::Task<Answer> injection = askOffThread(std::move(sources.injection), clock);
    QCoro::Task<Answer> model = askOffThread(std::move(sources.recognizerModel), clock);
    PermissionSnapshot result;
    result.microphone = microphone(sources.microphone ? sources.microphone() : std::nullopt);
    result.automation = automation();
    // Read before the wait: the window that asked, and the settings with it, may be gone when the probes answer.
    const bool asked = everPrompted(defaults);
    result.accessibility = typing(asked, co_await std::move(injection));
    result.speechRecognition = speechRecognition(co_await std::move(model));
    co_return result;
}

} // namespace murmeli::settings::PermissionProbe
