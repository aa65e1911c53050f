#pragma once

#include <QObject>

namespace murmeli::notch {

/// Whether the panel is expanded, and the two strips that replace its usual content: the welcome strip and the
/// settings card. Owned by the panel controller; main thread only. Each setter signals only a real change, so
/// storing an equal value wakes nobody.
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
    /// The expanded panel shows the settings card instead of the session list.
    bool settingActive() const { return m_settingActive; }
    bool setSettingActive(bool value);

Q_SIGNALS:
    void isExpandedChanged(bool value);
    void startActiveChanged(bool value);
    void settingActiveChanged(bool value);
    /// Any of the three changed.
    void changed();

private:
    bool update(bool& field, bool value, void (NotchExpansionState::*signal)(bool));

    bool m_isExpanded = false;
    bool m_startActive = false;
    bool m_settingActive = false;
};

} // namespace murmeli::notch
