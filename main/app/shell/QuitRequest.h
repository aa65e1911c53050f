#pragma once

#include <functional>
#include <memory>
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
/// replies have left (or after replyWaitMs). From the moment the quit goes ahead the hook server takes no new
/// connection (a hook that cannot connect lets its agent go on as without murmeli), and what was already on its way
/// in is answered too. The question stays until it is answered, and what it says follows the requests that still wait
/// meanwhile (answered elsewhere, failed open, gone). Main thread only.
class QuitRequest final {
public:
    /// The longest the quit waits for the fail-open replies to leave.
    static constexpr qint64 replyWaitMs = 2000;
    static constexpr qint64 replyPollMs = 20;

    /// Tells the question on show its detail anew.
    using Retell = std::function<void(const QString& detail)>;
    /// Asks the user to confirm; answer(true) goes ahead. Returns how to retell the question while it shows (may be
    /// empty). Set by the views; unset, the quit goes ahead.
    using Ask = std::function<Retell(const QString& question, const QString& detail, std::function<void(bool)> answer)>;

    QuitRequest(hooks::PendingRequestTable& table, hooks::HookServer& server, common::Clock& clock);
    ~QuitRequest();
    QuitRequest(const QuitRequest&) = delete;
    QuitRequest& operator=(const QuitRequest&) = delete;

    /// The user asked to quit.
    void request();
    /// Ends murmeli as the quit goes ahead, without asking (also while the question shows): the system asked for the
    /// end (a signal). why says in the log what asked, "murmeli ends on SIGTERM".
    void requestWithoutAsking(const QString& why);
    /// For an end that cannot wait for the event loop (the display is gone): fails the held requests open, and those
    /// the server holds or takes from now on that never reach the table, and waits here, at most replyWaitMs, for
    /// their replies to leave; quit is not called.
    void failOpenNow(const QString& why);
    /// Whether murmeli is on its way out.
    bool isQuitting() const { return m_quitting; }

    Ask ask;
    /// Ends the application; QCoreApplication::quit unless the owner sets another.
    std::function<void()> quit;
    common::LogSink onLog;

private:
    void goAhead(const QString& what);
    /// Closes the hook server's door and fails every held request open.
    void failOpenHeld(const QString& what);
    /// Fails open the requests that reached the table since.
    void failOpenLate();
    /// What the question says with that many requests waiting.
    static QString detailFor(int held);
    void waitForReplies(qint64 deadlineMs);

    hooks::PendingRequestTable& m_table;
    hooks::HookServer& m_server;
    common::Clock& m_clock;
    bool m_asking = false;
    Retell m_retell;
    std::shared_ptr<void> m_heldChanges;
    bool m_quitting = false;
    std::optional<common::Clock::TimerId> m_poll;
};

} // namespace murmeli::app
