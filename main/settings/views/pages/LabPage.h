#pragma once

#include <QTimer>

#include "main/device/link/BLEBridge.h"
#include "main/settings/views/SettingsEnvironment.h"
#include "main/ui/widgets/SettingsPage.h"

namespace murmeli::ui {
class SegmentedPicker;
class SettingsBadge;
class SettingsGroupCard;
class SettingsToggle;
} // namespace murmeli::ui

namespace murmeli::settings {

class SettingsHost;
class SettingsViewModel;
class UsageToolSection;

/// The Lab page: the Bluetooth push-to-talk device switch with the link's live state, the output profile, the
/// mute-while-dictating switch, spoken announcements, two features not offered yet, and the usage tool's section.
/// Switches and pickers act on every change of their value, also when the page seeds them from what is stored, so
/// opening the page with the device switch stored on starts the link. While shown it reads the link and the usage
/// reader again once a second.
class LabPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LabPage)

public:
    static constexpr int pollIntervalMs = 1000;
    /// The device switch: the link's own key, which the application reads at start-up to bring the link up.
    static constexpr auto bleEnabledUDKey = device::BLEBridge::enabledUDKey;

    /// host may be null: every control that needs the application is disabled and the statuses read "Unavailable".
    LabPage(
        const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent = nullptr);

    /// One tick of the poll: the device's state, then the usage reader's.
    void refresh();

    ui::SettingsToggle* deviceSwitch() const { return m_deviceSwitch; }
    ui::SettingsBadge* deviceBadge() const { return m_deviceBadge; }
    /// Null without the application (the row then says "Unavailable").
    ui::SegmentedPicker* profilePicker() const { return m_profilePicker; }
    ui::SettingsToggle* muteSwitch() const { return m_muteSwitch; }
    ui::SettingsToggle* speechSwitch() const { return m_speechSwitch; }
    UsageToolSection* usageSection() const { return m_usage; }

private:
    void addHardwareGroup();
    void addHumanSoundsGroup();
    void addPlaceholderGroup(const QString& title, const QString& label, const QString& help);
    void syncDevice();
    void deviceSwitched(bool on);

    SettingsEnvironment m_environment;
    SettingsViewModel& m_vm;
    SettingsHost* m_host = nullptr;
    ui::SettingsToggle* m_deviceSwitch = nullptr;
    ui::SettingsBadge* m_deviceBadge = nullptr;
    ui::SegmentedPicker* m_profilePicker = nullptr;
    ui::SettingsToggle* m_muteSwitch = nullptr;
    ui::SettingsToggle* m_speechSwitch = nullptr;
    UsageToolSection* m_usage = nullptr;
    QTimer m_poll;
};

} // namespace murmeli::settings
