#include "main/ui/widgets/SettingsGroupCard.h"

#include <QPainter>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

SettingsGroupCard::SettingsGroupCard(QWidget* parent) : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void SettingsGroupCard::addRow(QWidget* row)
{
    m_layout->addWidget(row);
}

void SettingsGroupCard::insertRow(int index, QWidget* row)
{
    m_layout->insertWidget(index, row);
}

QList<QWidget*> SettingsGroupCard::rows() const
{
    QList<QWidget*> result;
    for (int i = 0; i < m_layout->count(); ++i) {
        if (QWidget* widget = m_layout->itemAt(i)->widget()) {
            result.append(widget);
        }
    }
    return result;
}

void SettingsGroupCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    KitPainting::roundedBox(painter, QRectF(rect()), SettingsDesign::groupCardRadius, ui::Color::vantorSurface2,
        SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.06), 0.5);
}

} // namespace murmeli::ui
