#include "main/ui/widgets/StatTile.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

StatTile::StatTile(const QString& value, const QString& sub, QColor tint, QWidget* parent)
    : QWidget(parent), m_tint(tint)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(SettingsDesign::rowPaddingH, 14, SettingsDesign::rowPaddingH, 14);
    layout->setSpacing(6);
    QFont valueFont = ui::Faces::geistMono(20);
    valueFont.setStyleHint(QFont::Monospace);
    layout->addWidget(KitLabel::make(value, valueFont, tint, this));
    layout->addWidget(
        KitLabel::make(sub, ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, this));
}

void StatTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    KitPainting::roundedBox(painter, QRectF(rect()), SettingsDesign::groupCardRadius, ui::Color::vantorSurface2,
        SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.06), 0.5);
}

} // namespace murmeli::ui
