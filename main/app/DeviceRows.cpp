#include "main/app/DeviceRows.h"

#include <algorithm>

#include "main/cloud/account/AccountTexts.h"

namespace murmeli::app::DeviceRows {

namespace {

using Kind = notch::SessionState::Kind;

// The active session's context window, as the panel reports it in per cent of this many tokens.
constexpr qint64 contextWindowTokens = 200000;

} // namespace

QString sessionDetailState(const notch::SessionState& state)
{
    switch (state.kind()) {
    case Kind::NeedsApproval:
    case Kind::WaitingForAnswer:
        return QStringLiteral("attention");
    case Kind::Error:
        return QStringLiteral("error");
    case Kind::Working:
    case Kind::PttActive:
    case Kind::Compacting:
        return QStringLiteral("working");
    case Kind::NoSession:
    case Kind::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QString sessionListState(const notch::SessionState& state)
{
    // The list has one word for everything that waits on the user, an error included.
    const QString word = sessionDetailState(state);
    return word == QLatin1String("attention") || word == QLatin1String("error") ? QStringLiteral("approval") : word;
}

QList<device::SListBridge::WireRow> sessionList(const notch::PanelViewModel& vm)
{
    QList<device::SListBridge::WireRow> rows;
    rows.reserve(vm.sessions().size());
    for (const notch::SessionRow& row : vm.sessions()) {
        rows.append({ row.sid, sessionListState(row.state), row.projectName });
    }
    return rows;
}

QList<device::SessionDetailBridge::WireRow> sessionDetails(const notch::PanelViewModel& vm, const QDateTime& now)
{
    QList<device::SessionDetailBridge::WireRow> rows;
    if (vm.sessions().isEmpty()) {
        return rows;
    }
    const std::optional<notch::SessionRow> active = vm.activeSession();
    const QString activeId = active ? active->sid : QString();
    const qint64 percent = std::clamp(vm.contextPercent(), 0, 100);
    rows.reserve(vm.sessions().size());
    for (const notch::SessionRow& row : vm.sessions()) {
        device::SessionDetailBridge::RowSource source;
        source.sid = row.sid;
        source.projectName = row.projectName;
        source.state = sessionDetailState(row.state);
        source.updatedAt = row.updatedAt;
        if (!activeId.isEmpty() && row.sid == activeId) {
            source.ctxUsedTokens = percent * (contextWindowTokens / 100);
            source.ctxTotalTokens = contextWindowTokens;
            source.modelName = vm.modelName();
        }
        rows.append(device::SessionDetailBridge::wireRow(source, now));
    }
    return rows;
}

device::OverviewBridge::Account account(const notch::PanelViewModel& vm)
{
    if (vm.cloudEmail().isEmpty()) {
        return {};
    }
    // The same plan name the account page shows, so the device and the page never disagree about the plan.
    return { vm.cloudEmail(), cloud::AccountTexts::planName(vm.cloudTier()), QString(QChar(0x2014)) };
}

} // namespace murmeli::app::DeviceRows
