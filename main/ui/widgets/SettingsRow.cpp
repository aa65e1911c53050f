#include "main/ui/widgets/SettingsRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

SettingsRow::SettingsRow(
    const QString& label, const std::optional<QString>& sub, QWidget* control, bool isFirst, QWidget* parent)
    : QWidget(parent), m_control(control), m_isFirst(isFirst)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(SettingsDesign::rowPaddingH, SettingsDesign::rowPaddingV, SettingsDesign::rowPaddingH,
        SettingsDesign::rowPaddingV);
    layout->setSpacing(SettingsDesign::rowGap);

    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->setContentsMargins(0, 0, 0, 0);
    m_label = KitLabel::make(label, ui::Faces::instrumentSans(13, QFont::Medium), ui::Color::vantorText, this);
    m_label->setWordWrap(true);
    column->addWidget(m_label);
    m_sub = KitLabel::make(
        sub.value_or(QString()), ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, this);
    m_sub->setWordWrap(true);
    m_sub->setVisible(sub.has_value());
    column->addWidget(m_sub);
    // The label column narrows first; the control keeps its own width.
    layout->addLayout(column, 1);
    if (m_control != nullptr) {
        m_control->setParent(this);
        m_control->setSizePolicy(QSizePolicy::Fixed, m_control->sizePolicy().verticalPolicy());
        layout->addWidget(m_control, 0, Qt::AlignVCenter);
    }
    setMinimumHeight(SettingsDesign::rowMinHeight + 2 * SettingsDesign::rowPaddingV);
}

QString SettingsRow::label() const
{
    return m_label->text();
}

void SettingsRow::setLabel(const QString& label)
{
    m_label->setText(label);
}

std::optional<QString> SettingsRow::sub() const
{
    if (m_sub->isHidden()) {
        return std::nullopt;
    }
    return m_sub->text();
}

void SettingsRow::setSub(const std::optional<QString>& sub)
{
    m_sub->setText(sub.value_or(QString()));
    m_sub->setHidden(!sub.has_value());
}

void SettingsRow::paintEvent(QPaintEvent*)
{
    if (m_isFirst) {
        return;
    }
    QPainter painter(this);
    KitPainting::topHairline(painter, QRectF(rect()));
}

} // namespace murmeli::ui
