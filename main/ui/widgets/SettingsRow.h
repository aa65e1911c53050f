#pragma once

#include <optional>

#include <QWidget>

class QLabel;

namespace murmeli::ui {

/// One row of a card: a label with an optional help line under it on the left, a control on the right. Every row
/// but the first of its card draws a hairline along its top edge. The label column gives up width before the
/// control does, and the help line wraps instead of being cut.
class SettingsRow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsRow)

public:
    /// control may be null for a row without one; the row takes it.
    SettingsRow(const QString& label, const std::optional<QString>& sub, QWidget* control, bool isFirst = false,
        QWidget* parent = nullptr);

    QString label() const;
    void setLabel(const QString& label);
    /// Absent when the row shows no help line.
    std::optional<QString> sub() const;
    void setSub(const std::optional<QString>& sub);
    bool isFirst() const { return m_isFirst; }
    QWidget* control() const { return m_control; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label = nullptr;
    QLabel* m_sub = nullptr;
    QWidget* m_control = nullptr;
    bool m_isFirst = false;
};

} // namespace murmeli::ui
