#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "main/common/Log.h"

namespace murmeli::voice {

/// Reads the device's push-to-talk lines ("PT:" + event + "," + session id) and keeps the session the running
/// device take is addressed to. Every other line passes untouched. Called on the main thread only.
class PTTSessionRouter final {
public:
    /// What one push-to-talk line says.
    struct Event final {
        enum class Kind { Start, End, Cancel };
        Kind kind = Kind::Start;
        QString sessionId;
        bool operator==(const Event&) const = default;
    };

    static constexpr auto tag = "PT:";

    /// The session the current device take is addressed to.
    const std::optional<QString>& routedSessionId() const { return m_routedSessionId; }

    common::LineSink onLog;
    /// Every valid event.
    std::function<void(const Event& event)> onEvent;

    /// One device line, without its terminator and already trimmed by the link.
    void handleControlFrame(const QString& line);

private:
    void emitEvent(Event::Kind kind, const QString& sessionId) const;

    std::optional<QString> m_routedSessionId;
};

QString toString(PTTSessionRouter::Event::Kind kind);

} // namespace murmeli::voice
