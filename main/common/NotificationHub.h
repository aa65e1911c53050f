#pragma once

#include <QObject>
#include <QString>

namespace murmeli::common {

/// The application's notifications: whoever posts one emits the signal, whoever observes it connects to it. Every
/// signal is emitted and delivered on the main thread.
class NotificationHub final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationHub)

public:
    explicit NotificationHub(QObject* parent = nullptr);

Q_SIGNALS:
    /// Open the activity log window.
    void showActivityLog();
    /// The user asked for an update check.
    void checkForUpdates();
    /// A text injection found the accessibility permission missing; source names who found it.
    void axRevoked(const QString& source);
    /// Open the settings window.
    void showSettings();
    /// Open the settings window at its permissions.
    void openSettingsPermissions();
    /// The display the panel should stand on may have changed: it chooses its screen again.
    void screenParametersChanged();
    /// The streaming recognition session changed state (the state's name).
    void wsStateChanged(const QString& state);
    /// The streaming proxy settings changed.
    void wsProxyChanged();
    /// Show the onboarding window again, even though onboarding is done.
    void onboardingForceReopen();
};

} // namespace murmeli::common
