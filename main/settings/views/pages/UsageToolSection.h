#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "main/usage/CodexBarUsageReader.h"

class QMessageBox;
class QVBoxLayout;

namespace murmeli::ui {
class KitButton;
class SegmentedPicker;
class SettingsBadge;
class SettingsRow;
class SettingsToggle;
} // namespace murmeli::ui

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

class CodexBarCommandRow;
class SettingsHost;

/// The Lab page's last group: switches the usage reader on and off, edits its command rows, sets its poll interval
/// and tests one row at a time. Edits stay on the page until a remove, a reset or a successful test stores the rows;
/// a running reader is restarted with the page's rows and interval whenever they are stored.
class UsageToolSection final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageToolSection)

public:
    static constexpr auto enabledUDKey = usage::CodexBarUsageReader::enabledUDKey;
    static constexpr auto pollMinutesUDKey = usage::CodexBarUsageReader::pollMinutesUDKey;
    static constexpr auto testAlertTitle = "Codexbar test result";

    /// host may be null: the switch is disabled and off, the badge "Unavailable", and no action reaches a reader.
    UsageToolSection(platform::Defaults& defaults, SettingsHost* host, QWidget* parent = nullptr);

    /// Shows the reader's status again; the page calls it once a second.
    void syncStatus();

    ui::SettingsToggle* enabledSwitch() const { return m_switch; }
    ui::SettingsBadge* statusBadge() const { return m_badge; }
    ui::SegmentedPicker* intervalPicker() const { return m_interval; }
    /// The status line row, hidden while there is nothing to say.
    ui::SettingsRow* statusRow() const { return m_statusRow; }
    const QStringList& commands() const { return m_commands; }
    QList<CodexBarCommandRow*> commandRows() const;
    ui::KitButton* addButton() const { return m_add; }
    ui::KitButton* resetButton() const { return m_reset; }
    /// The result of the last test while it is up.
    QMessageBox* testAlert() const;

private:
    void buildCommandBlock(QWidget* block);
    void toggled(bool on);
    void intervalChosen(int minutes);
    void addRow();
    void resetRows();
    void removeRow(int index);
    void testAndSave(int index);
    void testEnded(bool ok, const QString& message);
    void storeRows();
    void reconfigure();
    void showRows();
    void showTestState();
    void showVisibility();

    platform::Defaults& m_defaults;
    SettingsHost* m_host = nullptr;
    bool m_enabled = false;
    int m_pollMinutes = 15;
    QStringList m_commands;
    int m_testRow = -1;
    int m_testSecondsLeft = 0;

    ui::SettingsBadge* m_badge = nullptr;
    ui::SettingsToggle* m_switch = nullptr;
    QWidget* m_commandBlock = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    ui::KitButton* m_add = nullptr;
    ui::KitButton* m_reset = nullptr;
    ui::SettingsRow* m_intervalRow = nullptr;
    ui::SegmentedPicker* m_interval = nullptr;
    ui::SettingsRow* m_statusRow = nullptr;
    QPointer<QMessageBox> m_alert;
};

} // namespace murmeli::settings
