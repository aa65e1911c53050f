#include "main/ui/design/Faces.h"

#include <QFontDatabase>

#include "main/ui/design/VantorFont.h"

namespace murmeli::ui::Faces {

namespace {

QFont sized(QFont font, qreal pixels, QFont::Weight weight)
{
    font.setPointSizeF(pointSize(pixels));
    font.setWeight(weight);
    return font;
}

} // namespace

qreal pointSize(qreal pixels)
{
    return pixels * 72.0 / 96.0;
}

QFont fraunces(qreal pixels, QFont::Weight weight, bool italic)
{
    QFont font = ui::VantorFont::fraunces(pointSize(pixels), weight);
    font.setItalic(italic);
    return font;
}

QFont instrumentSans(qreal pixels, QFont::Weight weight)
{
    return ui::VantorFont::instrumentSans(pointSize(pixels), weight);
}

QFont geistMono(qreal pixels, QFont::Weight weight)
{
    return ui::VantorFont::geistMono(pointSize(pixels), weight);
}

QFont system(qreal pixels, QFont::Weight weight)
{
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), pixels, weight);
}

QFont systemMono(qreal pixels, QFont::Weight weight)
{
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixels, weight);
}

} // namespace murmeli::ui::Faces
