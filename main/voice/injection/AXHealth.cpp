#include "main/voice/injection/AXHealth.h"

#include "platform/desktop/WindowSystem.h"

namespace murmeli::voice {

AXHealth::AXHealth(const platform::WindowSystem& windows) : m_windows(windows) { }

bool AXHealth::isTrusted() const
{
    return m_windows.injectionSupport().canInject;
}

QString AXHealth::selfDescribe() const
{
    const platform::InjectionSupport support = m_windows.injectionSupport();
    if (support.canInject) {
        return QStringLiteral("can inject here");
    }
    const QString reason = support.reason.isEmpty() ? QStringLiteral("no reason given") : support.reason;
    return QStringLiteral("cannot inject here: %1").arg(reason);
}

} // namespace murmeli::voice
