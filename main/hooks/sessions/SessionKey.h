#pragma once

#include <optional>

#include <QHashFunctions>
#include <QJsonObject>
#include <QString>

namespace murmeli::hooks {

/// The name of one agent session everywhere (file names, registry, status): 8 characters of its agent's id, the
/// first 8 unless the id begins with a clock. Keys end up in file names that are written and deleted, so a
/// SessionKey only ever holds letters, digits, "-" and "_"; it is made once where outside text comes in, and code
/// that holds one need not check it again.
class SessionKey final {
public:
    static constexpr int length = 8;

    /// The first 8 user-perceived characters of an id, or for an id that begins with a clock (isTimeOrdered) its
    /// last 8, where ids made in the same minute differ; nullopt when they are empty or not all safe.
    static std::optional<SessionKey> fromSessionId(const QString& sessionId);

    /// The key a status line that runs without murmeli, or one of an older murmeli, names the session's status file
    /// by: the id's first 8 characters, all of them safe. Not always the session's key (SessionRegistry::keyFor()).
    static std::optional<SessionKey> ofStatusLine(const QString& sessionId);

    /// fromSessionId() of payloadSessionId(); nullopt when there is no id or it is not safe.
    static std::optional<SessionKey> fromPayload(const QJsonObject& payload);

    /// The first string among "session_id", "sessionId", "agent_id", "agentId" and "id"; empty when there is none.
    static QString payloadSessionId(const QJsonObject& payload);

    /// The characters of payloadSessionId() fromSessionId() would take. Not checked: for saying what was refused.
    static QString payloadIdPrefix(const QJsonObject& payload);

    /// An id whose first characters are a clock, so that ids made close together share them: a UUID of version 6
    /// or 7 (Codex's), or an OpenCode session id ("ses_" and a time in hex).
    static bool isTimeOrdered(const QString& sessionId);

    /// A key as it stands in a file name (not shortened); nullopt when it is empty or not all safe.
    static std::optional<SessionKey> fromFileKey(const QString& text);

    /// Not empty, and only letters, digits, "-" and "_".
    static bool isSafe(const QString& text);

    const QString& text() const { return m_text; }

    friend bool operator==(const SessionKey& a, const SessionKey& b) { return a.m_text == b.m_text; }
    friend bool operator<(const SessionKey& a, const SessionKey& b) { return a.m_text < b.m_text; }

private:
    explicit SessionKey(QString text) : m_text(std::move(text)) { }

    QString m_text;
};

inline size_t qHash(const SessionKey& key, size_t seed = 0) noexcept
{
    return qHash(key.text(), seed);
}

} // namespace murmeli::hooks
