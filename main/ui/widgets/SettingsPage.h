#pragma once

#include <optional>

#include <QWidget>

class QVBoxLayout;

namespace murmeli::ui {

class SectionHeader;
class SettingsGroupCard;

/// The frame every settings page shares: a column at most 540 wide hugging the left edge, padded 32 left, right and
/// on top and 48 below, holding the page's header and then its groups, 24 apart. A group is a caption 8 above a card.
class SettingsPage : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsPage)

public:
    SettingsPage(const QString& title, const std::optional<QString>& subtitle, QWidget* parent = nullptr);

    SectionHeader* header() const { return m_header; }

protected:
    /// Adds a group titled title; footer, when given, stands under its card. Returns the card for the rows.
    SettingsGroupCard* addGroup(const QString& title, QWidget* footer = nullptr);
    /// Adds anything else to the column.
    void addItem(QWidget* item);

private:
    SectionHeader* m_header = nullptr;
    QVBoxLayout* m_column = nullptr;
};

} // namespace murmeli::ui
