#pragma once

#include <functional>

#include <QString>
#include <QUrl>

class QWidget;

namespace murmeli::common {
class NotificationHub;
}
namespace murmeli::platform {
class Defaults;
class LoginItem;
class ScreenProvider;
} // namespace murmeli::platform

namespace murmeli::settings {

/// What the settings window works with whether or not an application stands behind it: the preferences, the
/// autostart entry, the screens, the notifications, the user's home and the desktop's opener. All must outlive the
/// window.
struct SettingsEnvironment final {
    platform::Defaults& defaults;
    platform::LoginItem& loginItem;
    const platform::ScreenProvider& screens;
    common::NotificationHub& notifications;
    /// The folder under which ".murmeli" lies.
    QString homePath;
    /// Opens a web, mail or file address with the desktop's handler; failures are not reported.
    std::function<void(const QUrl&)> openUrl;
    /// Builds the Account page, which the cloud account's views provide; a placeholder stands in while unset.
    std::function<QWidget*()> accountPage;
};

} // namespace murmeli::settings
