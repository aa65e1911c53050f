#pragma once

#include <optional>

#include <QString>

namespace murmeli::notch {

/// What the expanded panel shows: the session list, or one card that asks for or tells the user something. Fields
/// a case does not use stay at their defaults, so equality over all of them is the same case with equal payloads.
class IslandSurface final {
public:
    enum class Kind { SessionList, ApprovalCard, QuestionCard, CompletionNotification, Error };

    /// The session list with no actionable session.
    IslandSurface() = default;

    static IslandSurface sessionList(std::optional<QString> actionableSessionId = std::nullopt);
    static IslandSurface approvalCard(QString sessionId, QString toolUseId);
    static IslandSurface questionCard(QString sessionId, QString prompt);
    static IslandSurface completionNotification(QString sessionId);
    static IslandSurface error(std::optional<QString> sessionId, QString message);

    Kind kind() const { return m_kind; }
    /// The actionable session of the list; the card's session otherwise (absent only for the list and an error).
    const std::optional<QString>& sessionId() const { return m_sessionId; }
    const QString& toolUseId() const { return m_toolUseId; }
    const QString& prompt() const { return m_prompt; }
    const QString& message() const { return m_message; }

    /// Every case but the session list.
    bool isNotificationCard() const { return m_kind != Kind::SessionList; }
    /// Only the completion notification goes away by itself.
    bool autoDismissesWhenPresentedAsNotification() const { return m_kind == Kind::CompletionNotification; }

    friend bool operator==(const IslandSurface&, const IslandSurface&) = default;

private:
    explicit IslandSurface(Kind kind) : m_kind(kind) { }

    Kind m_kind = Kind::SessionList;
    std::optional<QString> m_sessionId;
    QString m_toolUseId;
    QString m_prompt;
    QString m_message;
};

/// For log lines: the case name and its payload, "approvalCard(ab12cd34, tu-1)".
QString toString(const IslandSurface& surface);

} // namespace murmeli::notch
