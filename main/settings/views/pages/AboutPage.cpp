#include "main/settings/views/pages/AboutPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/common/AppVersion.h"
#include "main/common/NotificationHub.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"

namespace murmeli::settings {

namespace {

// murmeli's mark: a brass disc with a sound wave cut out of it.
class Mark final : public QWidget {
public:
    explicit Mark(QWidget* parent) : QWidget(parent) { setFixedSize(48, 48); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ui::Color::vantorBrass);
        painter.drawEllipse(QRectF(rect()));
        painter.setBrush(ui::Color::vantorSurface2);
        constexpr qreal heights[] = { 10, 20, 28, 16, 8 };
        constexpr qreal bar = 4;
        qreal x = 24 - 2.5 * bar - 2 * 2.5;
        for (const qreal height : heights) {
            painter.drawRoundedRect(QRectF(x, 24 - height / 2, bar, height), bar / 2, bar / 2);
            x += bar + 2.5;
        }
    }
};

struct LinkRow {
    const char* label;
    QString sub;
    const char* button;
    const QUrl* target;
};

} // namespace

const QString& AboutPage::displayedVersion()
{
    static const QString version = QString::fromLatin1(common::APP_VERSION);
    return version;
}

const QUrl& AboutPage::websiteURL()
{
    static const QUrl address(QStringLiteral("https://github.com/murmeli-cloud/murmeli"));
    return address;
}

const QUrl& AboutPage::githubURL()
{
    return websiteURL();
}

const QUrl& AboutPage::feedbackURL()
{
    static const QUrl address(QStringLiteral("mailto:feedback@murmeli.cloud"));
    return address;
}

const QUrl& AboutPage::privacyURL()
{
    static const QUrl address(QStringLiteral("https://murmeli.cloud/privacy"));
    return address;
}

const QUrl& AboutPage::termsURL()
{
    static const QUrl address(QStringLiteral("https://murmeli.cloud/terms"));
    return address;
}

const QUrl& AboutPage::releaseNotesURL()
{
    static const QUrl address(QStringLiteral("https://murmeli.cloud/changelog"));
    return address;
}

const QUrl& AboutPage::contactURL()
{
    static const QUrl address(QStringLiteral("mailto:hello@murmeli.cloud?subject=murmeli%20feedback"));
    return address;
}

AboutPage::AboutPage(common::NotificationHub& notifications, std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("About"), QStringLiteral("App information, links, and license."), parent)
{
    auto* identity = new ui::SettingsGroupCard;
    auto* identityRow = new QWidget(identity);
    auto* identityLayout = new QHBoxLayout(identityRow);
    identityLayout->setContentsMargins(ui::SettingsDesign::rowPaddingH, 14, ui::SettingsDesign::rowPaddingH, 14);
    identityLayout->setSpacing(16);
    identityLayout->addWidget(new Mark(identityRow));
    auto* names = new QVBoxLayout;
    names->setSpacing(4);
    names->addWidget(ui::KitLabel::make(QStringLiteral("murmeli"), ui::Faces::fraunces(20, QFont::Normal, true),
        ui::Color::vantorText, identityRow));
    QLabel* version = ui::KitLabel::make(QStringLiteral("Version ") + displayedVersion(), ui::Faces::geistMono(12),
        ui::Color::vantorTextMuted, identityRow);
    version->setObjectName(QStringLiteral("version"));
    names->addWidget(version);
    identityLayout->addLayout(names);
    identityLayout->addStretch(1);
    identity->addRow(identityRow);
    addItem(identity);

    const auto addRows = [this, &openUrl](const QString& title, const QList<LinkRow>& rows) {
        ui::SettingsGroupCard* card = addGroup(title);
        for (int i = 0; i < rows.size(); ++i) {
            const LinkRow& row = rows.at(i);
            const QUrl target = *row.target;
            auto* button = new ui::SecondaryButton(QString::fromLatin1(row.button), [openUrl, target] { openUrl(target); });
            button->setObjectName(QString::fromLatin1(row.label));
            card->addRow(new ui::SettingsRow(QString::fromLatin1(row.label), row.sub, button, i == 0));
        }
        return card;
    };
    addRows(QStringLiteral("Links"),
        {
            { "Website", QStringLiteral("murmeli project site."), "Open", &websiteURL() },
            { "GitHub", QStringLiteral("Source code and issue tracker."), "Open", &githubURL() },
            { "Send feedback", QStringLiteral("Report a bug or request a feature."), "Email", &feedbackURL() },
        });
    ui::SettingsGroupCard* legal = addRows(QStringLiteral("Legal & Help"),
        {
            { "Privacy policy", QStringLiteral("How we handle your voice and account data."), "Open", &privacyURL() },
            { "Terms of service", QStringLiteral("User agreement for murmeli."), "Open", &termsURL() },
            { "Release notes", QStringLiteral("What's new in version ") + displayedVersion() + QLatin1Char('.'), "Open",
                &releaseNotesURL() },
            { "Contact us", QStringLiteral("Reach the team directly via email."), "Email", &contactURL() },
        });
    legal->addRow(new ui::SettingsRow(QStringLiteral("Help center"), QStringLiteral("Documentation, FAQs, and tutorials."),
        new ui::SettingsBadge(QStringLiteral("Soon"), ui::BadgeKind::Soon)));

    auto* reopen = new ui::SecondaryButton(
        QStringLiteral("Reopen"), [&notifications] { Q_EMIT notifications.onboardingForceReopen(); });
    reopen->setObjectName(QStringLiteral("reopenOnboarding"));
    addGroup(QStringLiteral("Onboarding"))
        ->addRow(new ui::SettingsRow(QStringLiteral("Reopen Onboarding"),
            QStringLiteral("Walk through the permission setup again."), reopen, true));

    auto* check
        = new ui::SecondaryButton(QStringLiteral("Check…"), [&notifications] { Q_EMIT notifications.checkForUpdates(); });
    check->setObjectName(QStringLiteral("checkForUpdates"));
    ui::SettingsGroupCard* license = addGroup(QStringLiteral("License"));
    license->addRow(new ui::SettingsRow(QStringLiteral("License"),
        QStringLiteral("murmeli's own code; the bundled fonts under the SIL Open Font License."), nullptr, true));
    license->addRow(new ui::SettingsRow(QStringLiteral("Check for updates"), std::nullopt, check));
}

} // namespace murmeli::settings
