#pragma once

#include <QString>

namespace murmeli::notch {

/// What one agent session is doing, as the panel shows it. An error carries its message; every other case carries
/// nothing.
class SessionState final {
public:
    enum class Kind { Error, NoSession, Idle, Working, NeedsApproval, WaitingForAnswer, PttActive, Compacting };

    /// No session.
    SessionState() = default;
    explicit SessionState(Kind kind) : m_kind(kind) { }

    static SessionState error(QString message);
    static SessionState noSession() { return SessionState(Kind::NoSession); }
    static SessionState idle() { return SessionState(Kind::Idle); }
    static SessionState working() { return SessionState(Kind::Working); }
    static SessionState needsApproval() { return SessionState(Kind::NeedsApproval); }
    static SessionState waitingForAnswer() { return SessionState(Kind::WaitingForAnswer); }
    static SessionState pttActive() { return SessionState(Kind::PttActive); }
    static SessionState compacting() { return SessionState(Kind::Compacting); }

    Kind kind() const { return m_kind; }
    /// The error's message; empty for every other case.
    const QString& message() const { return m_message; }
    bool isError() const { return m_kind == Kind::Error; }

    friend bool operator==(const SessionState&, const SessionState&) = default;

private:
    Kind m_kind = Kind::NoSession;
    QString m_message;
};

/// For log lines: the case name ("needsApproval"), an error as "error(" + message + ")".
QString toString(const SessionState& state);

} // namespace murmeli::notch
