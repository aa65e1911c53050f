#include "main/settings/views/SettingsRootView.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>

#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/pages/AboutPage.h"
#include "main/settings/views/pages/AudioPage.h"
#include "main/settings/views/pages/GeneralPage.h"
#include "main/settings/views/pages/IntegrationsPage.h"
#include "main/settings/views/pages/LabPage.h"
#include "main/settings/views/pages/PlaceholderPage.h"
#include "main/settings/views/pages/SttPage.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/ScrollToFocus.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::settings {

namespace {

QString css(const QColor& color)
{
    return color.name(QColor::HexArgb);
}

} // namespace

SettingsRootView::SettingsRootView(
    const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent)
    : QWidget(parent), m_environment(environment), m_vm(vm), m_host(host)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebar = new QListWidget(this);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setMinimumWidth(sidebarMinWidth);
    m_sidebar->setMaximumWidth(sidebarMinWidth + 20);
    m_sidebar->setFont(ui::Faces::instrumentSans(13, QFont::Medium));
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setStyleSheet(
        QStringLiteral("QListWidget { background: %1; color: %2; padding: 12px 8px; outline: none; }"
                       "QListWidget::item { padding: 7px 10px; border-radius: 6px; margin: 1px 0; }"
                       "QListWidget::item:selected { background: %3; color: %2; }"
                       "QListWidget::item:hover:!selected { background: %4; }")
            .arg(css(ui::Color::vantorSurface2), css(ui::Color::vantorText),
                css(ui::SettingsDesign::withOpacity(ui::Color::vantorBrass, 0.22)),
                css(ui::SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.12))));
    for (const SettingsSection section : currentSettingsSections()) {
        auto* item = new QListWidgetItem(title(section), m_sidebar);
        item->setData(Qt::UserRole, toString(section));
    }
    layout->addWidget(m_sidebar);

    m_detail = new QScrollArea(this);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->setWidgetResizable(true);
    m_detail->setFrameShape(QFrame::NoFrame);
    m_detail->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_detail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui::ScrollToFocus::install(*m_detail);
    // The page column draws on the window's surface; only the scroll bar is styled.
    QPalette surface = m_detail->viewport()->palette();
    surface.setColor(QPalette::Window, ui::Color::vantorSurface);
    m_detail->viewport()->setPalette(surface);
    m_detail->viewport()->setAutoFillBackground(true);
    m_detail->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: %1; width: 10px; margin: 2px; }"
                       "QScrollBar::handle:vertical { background: %2; border-radius: 3px; min-height: 30px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(
                css(ui::Color::vantorSurface), css(ui::SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.35))));
    layout->addWidget(m_detail, 1);

    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        const QList<SettingsSection>& sections = currentSettingsSections();
        // Clearing the selection shows General.
        m_vm.setNormalizedSection(row >= 0 && row < sections.size() ? sections.at(row) : SettingsSection::General);
    });
    connect(&m_vm, &SettingsViewModel::selectedSectionChanged, this, &SettingsRootView::showSelectedSection);
    showSelectedSection();
}

QWidget* SettingsRootView::page() const
{
    return m_detail->widget();
}

void SettingsRootView::showSelectedSection()
{
    const SettingsSection section = m_vm.normalizedSection();
    {
        const QSignalBlocker quiet(m_sidebar);
        m_sidebar->setCurrentRow(static_cast<int>(currentSettingsSections().indexOf(section)));
    }
    if (page() != nullptr && section == m_shown) {
        return;
    }
    m_shown = section;
    // The old page may be the sender of this change (a button asking for another page): it goes once it returns.
    // Until then it stays a child of this view, so that a window closed in the meantime takes it along: a page left
    // without a parent would outlive the host and the preferences its timers read.
    if (QWidget* old = m_detail->takeWidget()) {
        old->hide();
        old->setParent(this);
        old->deleteLater();
    }
    m_detail->setWidget(buildPage(section));
    m_detail->verticalScrollBar()->setValue(0);
}

QWidget* SettingsRootView::buildPage(SettingsSection section)
{
    QWidget* built = nullptr;
    switch (section) {
    case SettingsSection::Account:
        built = m_environment.accountPage ? m_environment.accountPage() : nullptr;
        break;
    case SettingsSection::General:
        built = new GeneralPage(m_environment, m_vm, m_host);
        break;
    case SettingsSection::Stt:
        built = new SttPage(m_environment, m_vm, m_host);
        break;
    case SettingsSection::Audio:
        built = new AudioPage(m_host);
        break;
    case SettingsSection::Integrations:
        built = new IntegrationsPage(m_environment, m_host);
        break;
    case SettingsSection::Lab:
        built = new LabPage(m_environment, m_vm, m_host);
        break;
    case SettingsSection::About:
        built = new AboutPage(m_environment.notifications, m_environment.openUrl);
        break;
    default:
        break;
    }
    if (built == nullptr) {
        built = new PlaceholderPage(section);
    }
    built->setObjectName(toString(section) + QStringLiteral("Page"));
    built->setAutoFillBackground(false);
    return built;
}

} // namespace murmeli::settings
