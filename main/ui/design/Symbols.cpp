#include "main/ui/design/Symbols.h"

#include <array>
#include <optional>

#include <QPainter>
#include <QPainterPathStroker>
#include <QTransform>

namespace murmeli::ui::Symbols {

namespace {

// Every outline is drawn in a unit box and scaled; stroke widths are fractions of the box, about a semibold weight.
constexpr qreal stroke = 0.1;

QPainterPath stroked(const QPainterPath& line, qreal width = stroke)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath polyline(std::initializer_list<QPointF> points)
{
    QPainterPath line;
    for (const QPointF& point : points) {
        if (line.elementCount() == 0) {
            line.moveTo(point);
        } else {
            line.lineTo(point);
        }
    }
    return line;
}

QPainterPath disc(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath arc(QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees)
{
    QPainterPath path;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    path.arcMoveTo(box, startDegrees);
    path.arcTo(box, startDegrees, sweepDegrees);
    return path;
}

QPainterPath check()
{
    return stroked(polyline({ { 0.29, 0.52 }, { 0.44, 0.67 }, { 0.72, 0.36 } }));
}

QPainterPath exclamation(qreal top, qreal bottom, qreal dotY)
{
    QPainterPath mark = stroked(polyline({ { 0.5, top }, { 0.5, bottom } }), 0.1);
    return mark.united(disc({ 0.5, dotY }, 0.06));
}

QPainterPath speakerBody()
{
    QPainterPath body;
    body.addPolygon(QPolygonF({ { 0.06, 0.37 }, { 0.22, 0.37 }, { 0.46, 0.15 }, { 0.46, 0.85 }, { 0.22, 0.63 },
        { 0.06, 0.63 }, { 0.06, 0.37 } }));
    return body.united(stroked(body, 0.06));
}

QPainterPath gear()
{
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(0.415, 0.02, 0.17, 0.2), 0.04, 0.04);
        QTransform turn;
        turn.translate(0.5, 0.5);
        turn.rotate(i * 45.0);
        turn.translate(-0.5, -0.5);
        teeth = teeth.united(turn.map(tooth));
    }
    return teeth.united(disc({ 0.5, 0.5 }, 0.36)).subtracted(disc({ 0.5, 0.5 }, 0.15));
}

QPainterPath unitPath(Symbol symbol)
{
    switch (symbol) {
    case Symbol::MicFill: {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(0.34, 0.03, 0.32, 0.58), 0.16, 0.16);
        const QPainterPath cradle = stroked(arc({ 0.5, 0.42 }, 0.26, 180, 180), 0.08);
        const QPainterPath stand = stroked(polyline({ { 0.5, 0.7 }, { 0.5, 0.9 } }), 0.08);
        const QPainterPath base = stroked(polyline({ { 0.34, 0.93 }, { 0.66, 0.93 } }), 0.08);
        return capsule.united(cradle).united(stand).united(base);
    }
    case Symbol::GearshapeFill:
        return gear();
    case Symbol::CheckmarkCircleFill:
        return disc({ 0.5, 0.5 }, 0.5).subtracted(check());
    case Symbol::XmarkCircleFill: {
        const QPainterPath cross = stroked(
            polyline({ { 0.34, 0.34 },
                { 0.66, 0.66 } })).united(stroked(polyline({ { 0.66, 0.34 }, { 0.34, 0.66 } })));
        return disc({ 0.5, 0.5 }, 0.5).subtracted(cross);
    }
    case Symbol::ExclamationmarkTriangleFill: {
        QPainterPath triangle;
        triangle.addPolygon(QPolygonF({ { 0.5, 0.1 }, { 0.95, 0.88 }, { 0.05, 0.88 }, { 0.5, 0.1 } }));
        return triangle.united(stroked(triangle, 0.1)).subtracted(exclamation(0.36, 0.6, 0.75));
    }
    case Symbol::ExclamationmarkShieldFill: {
        QPainterPath shield;
        shield.moveTo(0.5, 0.03);
        shield.cubicTo(0.62, 0.12, 0.76, 0.16, 0.9, 0.17);
        shield.cubicTo(0.9, 0.55, 0.78, 0.82, 0.5, 0.97);
        shield.cubicTo(0.22, 0.82, 0.1, 0.55, 0.1, 0.17);
        shield.cubicTo(0.24, 0.16, 0.38, 0.12, 0.5, 0.03);
        shield.closeSubpath();
        return shield.subtracted(exclamation(0.28, 0.56, 0.72));
    }
    case Symbol::SpeakerWave2Fill:
        return speakerBody()
            .united(stroked(arc({ 0.46, 0.5 }, 0.2, -45, 90), 0.08))
            .united(stroked(arc({ 0.46, 0.5 }, 0.36, -50, 100), 0.08));
    case Symbol::SpeakerSlashFill: {
        const QPainterPath slash = polyline({ { 0.1, 0.1 }, { 0.9, 0.9 } });
        return speakerBody().subtracted(stroked(slash, 0.2)).united(stroked(slash, 0.08));
    }
    case Symbol::Power:
        return stroked(arc({ 0.5, 0.54 }, 0.38, 125, 290)).united(stroked(polyline({ { 0.5, 0.06 }, { 0.5, 0.46 } })));
    case Symbol::ChevronDown:
        return stroked(polyline({ { 0.18, 0.36 }, { 0.5, 0.66 }, { 0.82, 0.36 } }), 0.11);
    case Symbol::ArrowTriangleBranch: {
        QPainterPath lines = stroked(polyline({ { 0.5, 0.96 }, { 0.5, 0.55 }, { 0.22, 0.27 } }), 0.09)
                                 .united(stroked(polyline({ { 0.5, 0.55 }, { 0.78, 0.27 } }), 0.09));
        QPainterPath heads;
        heads.addPolygon(QPolygonF({ { 0.08, 0.08 }, { 0.36, 0.14 }, { 0.14, 0.36 }, { 0.08, 0.08 } }));
        heads.addPolygon(QPolygonF({ { 0.92, 0.08 }, { 0.86, 0.36 }, { 0.64, 0.14 }, { 0.92, 0.08 } }));
        return lines.united(heads);
    }
    case Symbol::CheckmarkSquareFill: {
        QPainterPath square;
        square.addRoundedRect(QRectF(0.04, 0.04, 0.92, 0.92), 0.2, 0.2);
        return square.subtracted(check());
    }
    }
    return {};
}

// The boolean path operations are slow next to a frame's budget, so each outline is built once (main thread only).
const QPainterPath& cachedUnitPath(Symbol symbol)
{
    static std::array<std::optional<QPainterPath>, static_cast<std::size_t>(Symbol::CheckmarkSquareFill) + 1> cache;
    std::optional<QPainterPath>& slot = cache[static_cast<std::size_t>(symbol)];
    if (!slot) {
        slot = unitPath(symbol);
    }
    return *slot;
}

} // namespace

QPainterPath path(Symbol symbol, qreal size)
{
    return QTransform::fromScale(size, size).map(cachedUnitPath(symbol));
}

void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color)
{
    const qreal size = std::min(box.width(), box.height());
    const QPointF origin = box.center() - QPointF(size / 2, size / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.translate(origin);
    painter.scale(size, size);
    painter.drawPath(cachedUnitPath(symbol));
    painter.restore();
}

} // namespace murmeli::ui::Symbols
