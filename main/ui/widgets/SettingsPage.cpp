#include "main/ui/widgets/SettingsPage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "main/ui/widgets/GroupTitle.h"
#include "main/ui/widgets/SectionHeader.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"

namespace murmeli::ui {

SettingsPage::SettingsPage(const QString& title, const std::optional<QString>& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* frame = new QHBoxLayout(this);
    frame->setContentsMargins(SettingsDesign::sectionPaddingH, SettingsDesign::sectionPaddingTop,
        SettingsDesign::sectionPaddingH, SettingsDesign::sectionPaddingBottom);
    frame->setSpacing(0);
    auto* column = new QWidget(this);
    column->setMaximumWidth(SettingsDesign::contentMaxWidth);
    m_column = new QVBoxLayout(column);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(SettingsDesign::pageSpacing);
    m_column->addStretch(1);
    frame->addWidget(column, 1);
    frame->addStretch(0);

    m_header = new SectionHeader(title, subtitle, column);
    addItem(m_header);
}

SettingsGroupCard* SettingsPage::addGroup(const QString& title, QWidget* footer)
{
    auto* group = new QWidget(this);
    auto* stack = new QVBoxLayout(group);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(SettingsDesign::groupTitleGap);
    stack->addWidget(new GroupTitle(title, group));
    auto* card = new SettingsGroupCard(group);
    stack->addWidget(card);
    if (footer != nullptr) {
        footer->setParent(group);
        stack->addWidget(footer);
    }
    addItem(group);
    return card;
}

void SettingsPage::addItem(QWidget* item)
{
    // Before the closing stretch, so the column stays at the top of the page.
    m_column->insertWidget(m_column->count() - 1, item);
}

} // namespace murmeli::ui
