#include "main/notch/placement/OverlayPlacementDiagnostics.h"

#include <cmath>

namespace murmeli::notch {
namespace {

const QString separator = QStringLiteral(" \u00B7 ");

QString rounded(double value)
{
    return QString::number(static_cast<qint64>(std::round(value)));
}

QString cut(double value)
{
    return QString::number(static_cast<qint64>(std::trunc(value)));
}

} // namespace

QString OverlayPlacementDiagnostics::targetDescription() const
{
    return targetScreenName + separator + selectionSummary;
}

QString OverlayPlacementDiagnostics::modeDescription() const
{
    return toString(mode);
}

QString OverlayPlacementDiagnostics::screenFrameDescription() const
{
    return describe(screenFrame);
}

QString OverlayPlacementDiagnostics::visibleFrameDescription() const
{
    return describe(visibleFrame);
}

QString OverlayPlacementDiagnostics::overlayFrameDescription() const
{
    return describe(overlayFrame);
}

QString OverlayPlacementDiagnostics::safeAreaDescription() const
{
    return QStringLiteral("top ") + cut(safeAreaInsets.top) + separator + QStringLiteral("left ")
        + cut(safeAreaInsets.left) + separator + QStringLiteral("bottom ") + cut(safeAreaInsets.bottom) + separator
        + QStringLiteral("right ") + cut(safeAreaInsets.right);
}

QString OverlayPlacementDiagnostics::describe(const QRectF& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(rounded(rect.x()), rounded(rect.y()), rounded(rect.width()), rounded(rect.height()));
}

} // namespace murmeli::notch
