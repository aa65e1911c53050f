#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"

namespace murmeli::hooks {
class HookServer;
class PendingRequestTable;
} // namespace murmeli::hooks

namespace murmeli::app {

/// Quitting murmeli from its panel. Every quit is logged. While permission requests are held it asks first, since
/// quitting answers them: they fail open, so each agent asks in its own terminal, and murmeli ends once those
/// replies have left (or after replyWaitMs). Main thread only.
class QuitRequest final {
public:
    /// The longest the quit waits for the fail-open replies to leave.
    static constexpr qint64 replyWaitMs = 2000;
    static constexpr qint64 replyPollMs = 20;

    /// Asks the user to confirm; answer(true) goes ahead. Set by the views; unset, the quit goes ahead.
    using Ask = std::function<void(const QString& question, const QString& detail, std::function<void(bool)> answer)>;

    QuitRequest(hooks::PendingRequestTable& table, const hooks::HookServer& server, common::Clock& clock);
    ~QuitRequest();
    QuitRequest(const QuitRequest&) = delete;
    QuitRequest& operator=(const QuitRequest&) = delete;

    /// The user asked to quit.
    void request();

    Ask ask;
    /// Ends the application; QCoreApplication::quit unless the owner sets another.
    std::function<void()> quit;
    common::LogSink onLog;

private:
    void goAhead();
    void waitForReplies(qint64 connectionsLeft, qint64 deadlineMs);

    hooks::PendingRequestTable& m_table;
    const hooks::HookServer& m_server;
    common::Clock& m_clock;
    bool m_asking = false;
    bool m_quitting = false;
    std::optional<common::Clock::TimerId> m_poll;
};

} // namespace murmeli::app
