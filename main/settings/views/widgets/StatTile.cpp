#include "main/settings/views/widgets/StatTile.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "main/notch/kit/Faces.h"
#include "main/settings/views/widgets/KitLabel.h"
#include "main/settings/views/widgets/KitPainting.h"
#include "main/settings/views/widgets/SettingsDesign.h"

namespace murmeli::settings {

StatTile::StatTile(const QString& value, const QString& sub, QColor tint, QWidget* parent)
    : QWidget(parent), m_tint(tint)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(SettingsDesign::rowPaddingH, 14, SettingsDesign::rowPaddingH, 14);
    layout->setSpacing(6);
    QFont valueFont = notch::Faces::geistMono(20);
    valueFont.setStyleHint(QFont::Monospace);
    layout->addWidget(KitLabel::make(value, valueFont, tint, this));
    layout->addWidget(
        KitLabel::make(sub, notch::Faces::instrumentSans(11, QFont::Normal), app::Color::vantorTextMuted, this));
}

void StatTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    KitPainting::roundedBox(painter, QRectF(rect()), SettingsDesign::groupCardRadius, app::Color::vantorSurface2,
        SettingsDesign::withOpacity(app::Color::vantorTextMuted, 0.06), 0.5);
}

} // namespace murmeli::settings
