#include "main/settings/views/pages/UsageToolSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>

#include "main/settings/LabStatus.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/pages/CodexBarCommandRow.h"
#include "main/settings/views/pages/LabTone.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/ControlGroup.h"
#include "main/ui/widgets/GroupTitle.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SegmentedPicker.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

namespace {

using usage::CodexBarUsageReader;

const QString defaultRow = QString::fromLatin1(CodexBarUsageReader::defaultCLICommand);

// The command rows sit in the card without being a row of it; a hairline parts them from the row above.
class CommandBlock final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ui::KitPainting::topHairline(painter, QRectF(rect()));
    }
};

} // namespace

UsageToolSection::UsageToolSection(platform::Defaults& defaults, SettingsHost* host, QWidget* parent)
    : QWidget(parent), m_defaults(defaults), m_host(host)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(ui::SettingsDesign::groupTitleGap);
    stack->addWidget(new ui::GroupTitle(QStringLiteral("Usage from Codexbar CLI (Experimental)"), this));
    auto* card = new ui::SettingsGroupCard(this);
    stack->addWidget(card);

    m_badge = new ui::SettingsBadge(QStringLiteral("Inactive"), ui::BadgeKind::Off);
    m_badge->setObjectName(QStringLiteral("usageStatus"));
    m_switch = new ui::SettingsToggle;
    m_switch->setObjectName(QStringLiteral("usageSwitch"));
    m_switch->setEnabled(m_host != nullptr);
    card->addRow(new ui::SettingsRow(QStringLiteral("Use Codexbar CLI for Usage"),
        QStringLiteral("Shell out `codexbar usage` for per-provider plan / usage data in the Notch UI. Needs the "
                       "Codexbar app and its CLI installed."),
        ui::ControlGroup::row({ m_badge, m_switch }, 10), true));

    m_commandBlock = new CommandBlock;
    m_commandBlock->setObjectName(QStringLiteral("commandBlock"));
    buildCommandBlock(m_commandBlock);
    card->addRow(m_commandBlock);

    m_interval = new ui::SegmentedPicker(
        { { QStringLiteral("5 min"), QStringLiteral("5") }, { QStringLiteral("15 min"), QStringLiteral("15") },
            { QStringLiteral("30 min"), QStringLiteral("30") } },
        220);
    m_interval->setObjectName(QStringLiteral("pollInterval"));
    m_interval->setFixedWidth(220);
    m_interval->setCurrentTag(QString::number(m_pollMinutes));
    m_intervalRow = new ui::SettingsRow(QStringLiteral("Polling interval"),
        QStringLiteral("How often to refresh. Applies to all rows (single tick spawns each row in series)."),
        m_interval);
    card->addRow(m_intervalRow);
    m_statusRow = new ui::SettingsRow(QString(), std::nullopt, nullptr);
    m_statusRow->setObjectName(QStringLiteral("usageStatusLine"));
    card->addRow(m_statusRow);

    connect(m_switch, &QAbstractButton::toggled, this, &UsageToolSection::toggled);
    connect(m_interval, &ui::SegmentedPicker::currentTagChanged, this,
        [this](const QString& tag) { intervalChosen(tag.toInt()); });

    if (m_host != nullptr) {
        m_commands = CodexBarUsageReader::commandsFromUDOrDefault(m_defaults);
        m_host->usageReader().setCommands(m_commands);
        showRows();
        // Seeding runs the actions of a switch stored on and of an interval other than the initial one.
        m_switch->setChecked(m_defaults.boolValue(QLatin1String(enabledUDKey)).value_or(false));
        m_interval->setCurrentTag(QString::number(CodexBarUsageReader::pollMinutesFromUDOrDefault(m_defaults)));
    }
    showVisibility();
    syncStatus();
}

void UsageToolSection::buildCommandBlock(QWidget* block)
{
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(ui::SettingsDesign::rowPaddingH, ui::SettingsDesign::rowPaddingV,
        ui::SettingsDesign::rowPaddingH, ui::SettingsDesign::rowPaddingV);
    column->setSpacing(8);
    auto* heading = new QVBoxLayout;
    heading->setSpacing(2);
    heading->addWidget(ui::KitLabel::make(
        QStringLiteral("CLI rows"), ui::Faces::instrumentSans(13, QFont::Medium), ui::Color::vantorText, block));
    QLabel* help = ui::KitLabel::make(QStringLiteral("One command per row (must start with `codexbar`). Up to %1 rows. "
                                                     "Reader runs each row in order on every tick.")
                                          .arg(CodexBarUsageReader::maxCommandRows),
        ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, block);
    help->setWordWrap(true);
    heading->addWidget(help);
    column->addLayout(heading);
    m_rowsLayout = new QVBoxLayout;
    m_rowsLayout->setSpacing(6);
    column->addLayout(m_rowsLayout);
    auto* bar = new QHBoxLayout;
    bar->setSpacing(8);
    m_add = new ui::SecondaryButton(
        QStringLiteral("+ Add CLI row"), [this] { addRow(); }, block);
    m_add->setObjectName(QStringLiteral("addRow"));
    m_reset = new ui::SecondaryButton(
        QStringLiteral("Reset to defaults"), [this] { resetRows(); }, block);
    m_reset->setObjectName(QStringLiteral("resetRows"));
    bar->addWidget(m_add);
    bar->addWidget(m_reset);
    bar->addStretch(1);
    column->addLayout(bar);
}

QList<CodexBarCommandRow*> UsageToolSection::commandRows() const
{
    QList<CodexBarCommandRow*> rows;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        if (auto* row = qobject_cast<CodexBarCommandRow*>(m_rowsLayout->itemAt(i)->widget())) {
            rows.append(row);
        }
    }
    return rows;
}

QMessageBox* UsageToolSection::testAlert() const
{
    return m_alert;
}

void UsageToolSection::syncStatus()
{
    const usage::CodexBarReaderStatus status
        = m_host != nullptr ? m_host->usageReader().status() : usage::CodexBarReaderStatus::idle();
    const LabStatus::Badge badge = LabStatus::usage(
        m_host != nullptr, m_enabled, status, m_host != nullptr ? m_host->lastUsageUpdate() : std::nullopt);
    m_badge->set(badge.label, badgeKindOf(badge.tone));
    m_statusRow->setLabel(badge.subtitle);
    m_statusRow->setVisible(m_enabled && !badge.subtitle.isEmpty());
}

void UsageToolSection::toggled(bool on)
{
    m_enabled = on;
    showVisibility();
    if (m_host == nullptr) {
        return;
    }
    m_defaults.setValue(QLatin1String(enabledUDKey), on);
    CodexBarUsageReader& reader = m_host->usageReader();
    if (on) {
        reader.setCommands(m_commands);
        reader.setIntervalMinutes(m_pollMinutes);
        reader.start();
    } else {
        reader.stop();
        // The panel stops showing usage at once.
        m_host->clearUsageDisplay();
    }
    syncStatus();
}

void UsageToolSection::intervalChosen(int minutes)
{
    m_pollMinutes = minutes;
    if (m_host == nullptr) {
        return;
    }
    m_defaults.setValue(QLatin1String(pollMinutesUDKey), minutes);
    m_host->usageReader().restart(minutes);
    syncStatus();
}

void UsageToolSection::addRow()
{
    if (m_commands.size() >= CodexBarUsageReader::maxCommandRows) {
        return;
    }
    m_commands.append(defaultRow);
    showRows();
}

void UsageToolSection::resetRows()
{
    if (m_host == nullptr) {
        return;
    }
    m_commands = { defaultRow };
    storeRows();
    showRows();
}

void UsageToolSection::removeRow(int index)
{
    if (m_host == nullptr || m_commands.size() < 2 || index < 0 || index >= m_commands.size()) {
        return;
    }
    m_commands.removeAt(index);
    storeRows();
    showRows();
}

void UsageToolSection::testAndSave(int index)
{
    if (m_host == nullptr || index < 0 || index >= m_commands.size() || m_testRow != -1) {
        return;
    }
    m_testRow = index;
    m_testSecondsLeft = static_cast<int>(CodexBarUsageReader::perRowTimeoutSec);
    showTestState();
    // The page may be rebuilt while the tool runs; a late answer then touches nothing.
    QPointer<UsageToolSection> alive = this;
    m_host->testUsageCommand(
        m_commands.at(index), CodexBarUsageReader::perRowTimeoutSec,
        [alive](int secondsLeft) {
            if (alive && alive->m_testRow != -1) {
                alive->m_testSecondsLeft = secondsLeft;
                alive->showTestState();
            }
        },
        [alive](bool ok, const QString& message) {
            if (alive) {
                alive->testEnded(ok, message);
            }
        });
}

void UsageToolSection::testEnded(bool ok, const QString& message)
{
    m_testRow = -1;
    m_testSecondsLeft = 0;
    QString shown;
    if (ok) {
        // Every row of the page is stored, tested or not.
        shown = QStringLiteral("Saved · ") + message;
        storeRows();
    } else {
        shown = QStringLiteral("Test failed: ") + message;
        syncStatus();
    }
    showTestState();
    if (m_alert) {
        m_alert->close();
    }
    m_alert = new QMessageBox(
        QMessageBox::Information, QString::fromLatin1(testAlertTitle), shown, QMessageBox::Ok, window());
    m_alert->setPalette(window()->palette());
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->open();
}

void UsageToolSection::storeRows()
{
    CodexBarUsageReader::writeCommandsToUD(m_defaults, m_commands);
    reconfigure();
    syncStatus();
}

void UsageToolSection::reconfigure()
{
    if (!m_enabled || m_host == nullptr) {
        return;
    }
    CodexBarUsageReader& reader = m_host->usageReader();
    reader.stop();
    reader.setCommands(m_commands);
    reader.setIntervalMinutes(m_pollMinutes);
    reader.start();
}

void UsageToolSection::showRows()
{
    // A row may be the sender of this change (its own remove button): it goes once it returns.
    for (CodexBarCommandRow* row : commandRows()) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    for (int i = 0; i < m_commands.size(); ++i) {
        std::function<void()> remove;
        if (m_commands.size() >= 2) {
            remove = [this, i] { removeRow(i); };
        }
        auto* row = new CodexBarCommandRow(
            m_commands.at(i),
            [this, i](const QString& text) {
                // An edit stays on the page until the rows are stored.
                if (i < m_commands.size()) {
                    m_commands[i] = text;
                }
            },
            [this, i] { testAndSave(i); }, std::move(remove));
        m_rowsLayout->addWidget(row);
    }
    showTestState();
}

void UsageToolSection::showTestState()
{
    const bool busy = m_testRow != -1;
    const QList<CodexBarCommandRow*> rows = commandRows();
    for (int i = 0; i < rows.size(); ++i) {
        rows.at(i)->setTestState(i == m_testRow, i == m_testRow ? m_testSecondsLeft : 0, busy || m_host == nullptr);
    }
    m_add->setEnabled(m_commands.size() < CodexBarUsageReader::maxCommandRows && !busy);
    m_reset->setEnabled(!busy);
}

void UsageToolSection::showVisibility()
{
    m_commandBlock->setVisible(m_enabled);
    m_intervalRow->setVisible(m_enabled);
    syncStatus();
}

} // namespace murmeli::settings
