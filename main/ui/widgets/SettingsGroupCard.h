#pragma once

#include <QList>
#include <QWidget>

class QVBoxLayout;

namespace murmeli::ui {

class SettingsRow;

/// A rounded card holding rows that touch; their own padding and hairlines separate them.
class SettingsGroupCard final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsGroupCard)

public:
    explicit SettingsGroupCard(QWidget* parent = nullptr);

    /// Adds a row at the bottom; the card takes it.
    void addRow(QWidget* row);
    /// Inserts a row at index.
    void insertRow(int index, QWidget* row);
    /// The rows, top to bottom.
    QList<QWidget*> rows() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_layout = nullptr;
};

} // namespace murmeli::ui
