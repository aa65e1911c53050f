#pragma once

#include <QObject>

namespace murmeli::notch {

/// Whether the panel is expanded, and whether the welcome strip replaces its usual content. Owned by the panel
/// controller; main thread only. Each setter signals only a real change, so storing an equal value wakes nobody.
class NotchExpansionState final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotchExpansionState)

public:
    explicit NotchExpansionState(QObject* parent = nullptr);

    /// The expanded content shows below the strip.
    bool isExpanded() const { return m_isExpanded; }
    /// Returns whether the value changed.
    bool setExpanded(bool value);
    /// The welcome strip shows.
    bool startActive() const { return m_startActive; }
    bool setStartActive(bool value);

Q_SIGNALS:
    void isExpandedChanged(bool value);
    void startActiveChanged(bool value);
    /// Either changed.
    void changed();

private:
    bool update(bool& field, bool value, void (NotchExpansionState::*signal)(bool));

    bool m_isExpanded = false;
    bool m_startActive = false;
};

} // namespace murmeli::notch
