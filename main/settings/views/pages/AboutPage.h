#pragma once

#include <functional>

#include <QUrl>

#include "main/ui/widgets/SettingsPage.h"

namespace murmeli::common {
class NotificationHub;
}

namespace murmeli::settings {

/// The About page: who murmeli is and which version runs, the project's links, onboarding again, and the manual
/// update check. It keeps no state; its two actions that reach the rest of murmeli are notifications.
class AboutPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutPage)

public:
    static const QString& displayedVersion();
    static const QUrl& websiteURL();
    static const QUrl& githubURL();
    static const QUrl& feedbackURL();
    static const QUrl& privacyURL();
    static const QUrl& termsURL();
    static const QUrl& releaseNotesURL();
    static const QUrl& contactURL();

    AboutPage(common::NotificationHub& notifications, std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);
};

} // namespace murmeli::settings
