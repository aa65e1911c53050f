#pragma once

#include <QColor>
#include <QWidget>

namespace murmeli::ui {

/// What a badge tells: working, a warning, absent, or not offered yet. Off and soon look the same.
enum class BadgeKind { Active, Warn, Off, Soon };

/// The kind's text and dot colour.
QColor badgeForeground(BadgeKind kind);
/// The kind's capsule colour: the foreground at 14 %.
QColor badgeBackground(BadgeKind kind);

/// A small capsule with an optional dot and a label, shown exactly as given.
class SettingsBadge final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsBadge)

public:
    SettingsBadge(const QString& label, BadgeKind kind, bool showDot = true, QWidget* parent = nullptr);

    const QString& label() const { return m_label; }
    BadgeKind kind() const { return m_kind; }
    bool showsDot() const { return m_showDot; }
    void set(const QString& label, BadgeKind kind);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_label;
    BadgeKind m_kind;
    bool m_showDot = true;
};

} // namespace murmeli::ui
