#pragma once

#include <deque>
#include <functional>

#include <QStringList>

#include "main/common/Clock.h"
#include "main/hooks/approvals/ApprovalBridge.h"

namespace murmeli::test {

/// A bridge that answers from prepared decisions, after a delay on the given clock, and records every call.
class MockApprovalBridge final : public hooks::ApprovalBridge {
public:
    using Resolver = std::function<void(const QString& toolUseId, const hooks::ApprovalDecision& decision)>;

    explicit MockApprovalBridge(common::Clock& clock) : m_clock(clock) { }

    void setResolver(Resolver resolver) { m_resolver = std::move(resolver); }
    void script(const hooks::ApprovalDecision& decision, qint64 delayMs = 10)
    {
        m_scripts.push_back({ decision, delayMs });
    }
    void clearScript() { m_scripts.clear(); }

    QCoro::Task<> requestApproval(hooks::ApprovalRequest request) override;
    QCoro::Task<> signalWarning(hooks::ApprovalRequest request) override;
    QCoro::Task<> cancelPending(QString toolUseId) override;

    QStringList requestLog;
    QStringList warningLog;
    QStringList cancelLog;

private:
    struct Scripted {
        hooks::ApprovalDecision decision;
        qint64 delayMs = 10;
    };

    common::Clock& m_clock;
    std::deque<Scripted> m_scripts;
    Resolver m_resolver;
};

} // namespace murmeli::test
