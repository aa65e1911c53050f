#include "main/notch/layout/NotchDisplay.h"

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/layout/NotchExpansionState.h"

namespace murmeli::notch {

using notch::IslandSurface;
using notch::SessionState;

NotchDisplay NotchDisplay::activity(QString name)
{
    NotchDisplay display(Kind::Activity);
    display.m_name = std::move(name);
    return display;
}

NotchDisplay NotchDisplay::notification(NotchNotifKind kind)
{
    NotchDisplay display(Kind::Notification);
    display.m_notifKind = kind;
    return display;
}

NotchDisplay NotchDisplay::derive(const notch::PanelViewModel& vm, const NotchExpansionState& state)
{
    if (vm.pttActive()) {
        return pttRecording();
    }
    if (state.startActive()) {
        return start();
    }
    // The session list and a question card show nothing of their own in the strip.
    switch (vm.currentSurface().kind()) {
    case IslandSurface::Kind::ApprovalCard:
        return notification(NotchNotifKind::Approval);
    case IslandSurface::Kind::CompletionNotification:
        return notification(NotchNotifKind::Completion);
    case IslandSurface::Kind::Error:
        return notification(NotchNotifKind::Error);
    case IslandSurface::Kind::SessionList:
    case IslandSurface::Kind::QuestionCard:
        break;
    }
    if (vm.summaryActive()) {
        return notification(NotchNotifKind::Summary);
    }
    switch (vm.sessionState().kind()) {
    case SessionState::Kind::NoSession:
    case SessionState::Kind::Idle:
    case SessionState::Kind::PttActive:
        return brand();
    case SessionState::Kind::NeedsApproval:
    case SessionState::Kind::WaitingForAnswer:
        return notification(NotchNotifKind::Approval);
    case SessionState::Kind::Working:
    case SessionState::Kind::Compacting:
        return activity(vm.hasCurrentActivity() ? vm.currentActivity() : QStringLiteral("working"));
    case SessionState::Kind::Error:
        return notification(NotchNotifKind::Error);
    }
    return brand();
}

QString toString(const NotchDisplay& display)
{
    switch (display.kind()) {
    case NotchDisplay::Kind::Activity:
        return QStringLiteral("activity(%1)").arg(display.name());
    case NotchDisplay::Kind::Notification:
        return QStringLiteral("notification(%1)").arg(toString(display.notifKind()));
    case NotchDisplay::Kind::Start:
        return QStringLiteral("start");
    case NotchDisplay::Kind::Brand:
        return QStringLiteral("brand");
    case NotchDisplay::Kind::PttRecording:
        return QStringLiteral("pttRecording");
    }
    return {};
}

} // namespace murmeli::notch
