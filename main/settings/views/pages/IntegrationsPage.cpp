#include "main/settings/views/pages/IntegrationsPage.h"

#include <utility>

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "main/hooks/sessions/StatusFiles.h"
#include "main/settings/integrations/HooksDoctor.h"
#include "main/settings/integrations/IntegrationsModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/ControlGroup.h"
#include "main/ui/widgets/GroupTitle.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"

namespace murmeli::settings {

namespace {

using ID = CLIAdapter::ID;
using State = CLIInstallState;

constexpr qreal comingSoonOpacity = 0.55;

// None where the text is empty (an adapter whose installer is missing), so the row stays one line.
std::optional<QString> subLabel(const CLIAdapter& adapter, State state)
{
    const hooks::AgentAdapter& row = adapter.row();
    QString text = adapter.comingSoonNote;
    if (state != State::ComingSoon) {
        // Adapters without texts of their own for the state show their description.
        text = state == State::Active ? row.activeText : row.installableText;
        text = text.isEmpty() ? adapter.shortDescription : text;
    }
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

ui::SettingsBadge* stateBadge(State state)
{
    switch (state) {
    case State::Active:
        return new ui::SettingsBadge(QStringLiteral("Active"), ui::BadgeKind::Active);
    case State::Installable:
        return new ui::SettingsBadge(QStringLiteral("Available"), ui::BadgeKind::Warn);
    case State::ComingSoon:
        break;
    }
    return new ui::SettingsBadge(QStringLiteral("Soon"), ui::BadgeKind::Soon);
}

ui::KitButton* flowButton(const QString& name, const QString& title, bool busy, std::function<void()> action)
{
    auto* button = new ui::SecondaryButton(title, std::move(action));
    button->setObjectName(name);
    button->setEnabled(!busy);
    return button;
}

QVBoxLayout* groupColumn(QWidget* group)
{
    auto* column = new QVBoxLayout(group);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(ui::SettingsDesign::groupTitleGap);
    return column;
}

QScrollBar* scrollBarAbove(QWidget* widget)
{
    for (QWidget* at = widget; at != nullptr; at = at->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(at)) {
            return area->verticalScrollBar();
        }
    }
    return nullptr;
}

} // namespace

IntegrationsPage::IntegrationsPage(const SettingsEnvironment& environment, SettingsHost* host, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("Integrations"),
        QStringLiteral("Hook into AI coding agents and inspect adapter health."), parent)
{
    IntegrationsModel::Dependencies dependencies {
        host != nullptr ? host->executablePath() : QCoreApplication::applicationFilePath(),
        environment.homePath,
        host != nullptr ? host->keychain() : platform::KeychainStore(nullptr),
    };
    if (host != nullptr) {
        dependencies.installClaudeHooks = [host] { return host->installClaudeHooks(); };
        dependencies.hooksInstalled = [host] { host->hooksInstalled(); };
    }
    m_model = std::make_unique<IntegrationsModel>(std::move(dependencies));
    m_doctor = std::make_unique<HooksDoctor>(
        host != nullptr ? host->agentSettingsPath() : hooks::StatusFiles::agentSettingsPath(environment.homePath),
        std::make_shared<common::SystemClock>());

    addAdaptersGroup();
    addDiagnosticsGroup();
    m_model->onChanged = [this] {
        showAdapters();
        showAlert();
    };
    m_doctor->onChanged = [this] { showDoctor(); };
    m_model->refreshAllCLIStatus();
    m_doctor->run();
}

IntegrationsPage::~IntegrationsPage()
{
    // The alert belongs to the window; its answer must not reach a model that is gone.
    if (m_alert) {
        m_alert->disconnect(this);
        m_alert->close();
    }
}

// The fresh card takes the old one's place as the user sees it. Hiding a focused button would hand the focus to the
// next control and make the scroll area scroll to it, moving another row under the pointer: so the counterpart of the
// focused control takes the focus first, and the scroll position is put back.
void IntegrationsPage::swapCard(QVBoxLayout* group, ui::SettingsGroupCard* old, ui::SettingsGroupCard* fresh)
{
    if (old == nullptr) {
        group->addWidget(fresh);
        return;
    }
    QScrollBar* bar = scrollBarAbove(this);
    const int position = bar != nullptr ? bar->value() : 0;
    // The window's focus, not the application's: a result alert may be in front while the rows change.
    QWidget* focused = window()->focusWidget();
    const bool focusInside = focused != nullptr && (focused == old || old->isAncestorOf(focused));
    if (focusInside && focused != old) {
        m_focusedControl = focused->objectName();
    }
    // The old card's layout item is handed back to us.
    delete group->replaceWidget(old, fresh);
    // Shown now rather than on the layout's next turn: a hidden widget cannot take the focus.
    fresh->show();
    if (focusInside) {
        QWidget* counterpart = m_focusedControl.isEmpty() ? nullptr : fresh->findChild<QWidget*>(m_focusedControl);
        // A button is disabled while its flow runs; the card holds the focus until it is back.
        if (counterpart != nullptr && counterpart->isEnabled()) {
            counterpart->setFocus(Qt::OtherFocusReason);
            m_focusedControl.clear();
        } else {
            fresh->setFocus(Qt::OtherFocusReason);
        }
    }
    old->hide();
    old->deleteLater();
    if (bar != nullptr) {
        bar->setValue(position);
    }
}

QMessageBox* IntegrationsPage::resultAlert() const
{
    return m_alert;
}

void IntegrationsPage::addAdaptersGroup()
{
    auto* group = new QWidget(this);
    m_adaptersGroup = groupColumn(group);
    auto* heading = new QHBoxLayout;
    heading->setContentsMargins(0, 0, 0, 0);
    heading->addWidget(new ui::GroupTitle(QStringLiteral("CLI Hooks"), group));
    heading->addStretch(1);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), group);
    refresh->setObjectName(QStringLiteral("refresh"));
    refresh->setFlat(true);
    refresh->setCursor(Qt::PointingHandCursor);
    refresh->setFont(ui::Faces::instrumentSans(11, QFont::Medium));
    refresh->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; background: transparent; }")
                               .arg(ui::Color::vantorTextMuted.name()));
    connect(refresh, &QPushButton::clicked, this, [this] { m_model->refreshAllCLIStatus(); });
    heading->addWidget(refresh);
    m_adaptersGroup->addLayout(heading);
    addItem(group);
    showAdapters();
}

void IntegrationsPage::addDiagnosticsGroup()
{
    auto* group = new QWidget(this);
    m_diagnosticsGroup = groupColumn(group);
    m_diagnosticsGroup->addWidget(new ui::GroupTitle(QStringLiteral("Diagnostics"), group));
    addItem(group);
    showDoctor();
}

void IntegrationsPage::showAdapters()
{
    auto* card = new ui::SettingsGroupCard;
    card->setObjectName(QStringLiteral("adapters"));
    bool first = true;
    for (const CLIAdapter& adapter : CLIAdapter::allCases()) {
        const State state = m_model->state(adapter.id);
        const QString id = toString(adapter.id);
        const bool busy = m_model->isBusy(adapter.id);
        auto* control = new QWidget;
        auto* layout = new QHBoxLayout(control);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        layout->addWidget(stateBadge(state), 0, Qt::AlignVCenter);
        if (m_model->canInstall() && state != State::ComingSoon) {
            IntegrationsModel* model = m_model.get();
            ui::KitButton* uninstall = nullptr;
            if (state == State::Active) {
                uninstall = flowButton(QStringLiteral("uninstall-") + id, QStringLiteral("Uninstall…"), busy,
                    [model, adapter] { model->uninstall(adapter); });
            }
            QString installTitle = state == State::Active ? QStringLiteral("Reinstall…") : QStringLiteral("Install…");
            if (busy && adapter.id != ID::ClaudeCode) {
                installTitle = QStringLiteral("Working…");
            }
            ui::KitButton* install = flowButton(
                QStringLiteral("install-") + id, installTitle, busy, [model, adapter] { model->install(adapter); });
            layout->addWidget(
                uninstall != nullptr ? ui::ControlGroup::row({ uninstall, install }, 8) : install, 0, Qt::AlignVCenter);
        }
        if (state == State::ComingSoon) {
            auto* dim = new QGraphicsOpacityEffect(control);
            dim->setOpacity(comingSoonOpacity);
            control->setGraphicsEffect(dim);
        }
        auto* row = new ui::SettingsRow(adapter.displayName, subLabel(adapter, state), control, first);
        row->setObjectName(QStringLiteral("adapter-") + id);
        card->addRow(row);
        first = false;
    }
    swapCard(m_adaptersGroup, std::exchange(m_adapters, card), card);
}

void IntegrationsPage::showDoctor()
{
    auto* card = new ui::SettingsGroupCard;
    card->setObjectName(QStringLiteral("diagnostics"));
    ui::BadgeKind kind = ui::BadgeKind::Active;
    switch (m_doctor->health()) {
    case HooksDoctor::Health::NotRun:
        kind = ui::BadgeKind::Off;
        break;
    case HooksDoctor::Health::Issues:
        kind = ui::BadgeKind::Warn;
        break;
    case HooksDoctor::Health::Healthy:
        break;
    }
    auto* badge = new ui::SettingsBadge(m_doctor->badgeLabel(), kind);
    badge->setObjectName(QStringLiteral("doctorBadge"));
    HooksDoctor* doctor = m_doctor.get();
    ui::KitButton* recheck = flowButton(
        QStringLiteral("recheck"), m_doctor->buttonTitle(), m_doctor->isRunning(), [doctor] { doctor->run(); });
    auto* summary = new ui::SettingsRow(
        m_doctor->title(), m_doctor->subtitle(QLocale()), ui::ControlGroup::row({ badge, recheck }, 10), true);
    summary->setObjectName(QStringLiteral("doctor"));
    card->addRow(summary);
    for (const hooks::HookSelfCheck::Issue& issue : m_doctor->report().issues) {
        const HooksDoctor::IssueRow row = HooksDoctor::issueRow(issue);
        card->addRow(new ui::SettingsRow(
            row.label, row.detail, new ui::SettingsBadge(QStringLiteral("Fail"), ui::BadgeKind::Warn)));
    }
    swapCard(m_diagnosticsGroup, std::exchange(m_diagnostics, card), card);
}

void IntegrationsPage::showAlert()
{
    const std::optional<InstallAlert>& alert = m_model->alert();
    if (!alert) {
        return;
    }
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Information, QString(), QString(), QMessageBox::Ok, window());
        // A window of its own takes no palette from its parent: it is given the settings window's dark one.
        m_alert->setPalette(window()->palette());
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
        m_alert->setObjectName(QStringLiteral("installResult"));
        connect(m_alert, &QMessageBox::finished, this, [this] { m_model->dismissAlert(); });
        m_alert->open();
    }
    // A second flow that ends while the first one's result is up shows its own in the same alert.
    m_alert->setWindowTitle(alert->title);
    m_alert->setTextFormat(Qt::PlainText);
    m_alert->setText(alert->title);
    m_alert->setInformativeText(alert->message());
    // The script's output is shown as it printed it, never read as markup.
    if (auto* output = m_alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        output->setTextFormat(Qt::PlainText);
    }
}

} // namespace murmeli::settings
