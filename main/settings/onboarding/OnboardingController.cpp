#include "main/settings/onboarding/OnboardingController.h"

#include <memory>

#include <QObject>
#include <QPointer>

#include "platform/defaults/Defaults.h"

namespace murmeli::settings::OnboardingController {

namespace {

void present(const ShowWindow& showWindow, bool isReopen, std::function<void()> completion, QObject* context)
{
    // One completion per window, however often its close reports, and never from inside the close itself.
    auto pending = std::make_shared<std::function<void()>>(std::move(completion));
    QPointer<QObject> guard = context;
    showWindow(isReopen, [pending, guard] {
        std::function<void()> run = std::exchange(*pending, nullptr);
        if (!run || !guard) {
            return;
        }
        QMetaObject::invokeMethod(guard.data(), std::move(run), Qt::QueuedConnection);
    });
}

} // namespace

bool isCompleted(const platform::Defaults& defaults)
{
    return defaults.boolValue(QLatin1String(completedKey)).value_or(false);
}

void runIfNeeded(const platform::Defaults& defaults, const ShowWindow& showWindow, std::function<void()> completion,
    QObject* context)
{
    if (isCompleted(defaults)) {
        if (completion) {
            completion();
        }
        return;
    }
    present(showWindow, false, std::move(completion), context);
}

void forceReopen(const ShowWindow& showWindow, std::function<void()> completion, QObject* context)
{
    present(showWindow, true, std::move(completion), context);
}

void markCompleted(platform::Defaults& defaults)
{
    defaults.setValue(QLatin1String(completedKey), true);
}

} // namespace murmeli::settings::OnboardingController
