#pragma once

#include <QString>

#include "main/notch/layout/NotchNotifKind.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::notch {

class NotchExpansionState;

/// What the closed strip shows. Two displays are equal when they are the same case with equal payloads.
class NotchDisplay final {
public:
    enum class Kind { Activity, Notification, Start, Brand, PttRecording };

    /// The resting strip.
    NotchDisplay() = default;

    /// An agent is working on name, its current activity text.
    static NotchDisplay activity(QString name);
    static NotchDisplay notification(NotchNotifKind kind);
    static NotchDisplay start() { return NotchDisplay(Kind::Start); }
    static NotchDisplay brand() { return NotchDisplay(Kind::Brand); }
    static NotchDisplay pttRecording() { return NotchDisplay(Kind::PttRecording); }

    /// The strip for the panel's state: recording, then the welcome strip, then the card on show,
    /// the summary, and last the active session's state.
    static NotchDisplay derive(const notch::PanelViewModel& vm, const NotchExpansionState& state);

    Kind kind() const { return m_kind; }
    /// The activity's name; empty for every other case.
    const QString& name() const { return m_name; }
    /// The notification's kind; meaningful only for Kind::Notification.
    NotchNotifKind notifKind() const { return m_notifKind; }

    friend bool operator==(const NotchDisplay&, const NotchDisplay&) = default;

private:
    explicit NotchDisplay(Kind kind) : m_kind(kind) { }

    Kind m_kind = Kind::Brand;
    QString m_name;
    NotchNotifKind m_notifKind = NotchNotifKind::Completion;
};

/// For log lines and test names: "activity(name)", "notification(approval)", "brand", ...
QString toString(const NotchDisplay& display);

} // namespace murmeli::notch
