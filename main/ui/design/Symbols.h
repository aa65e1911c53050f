#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace murmeli::ui {

/// The symbols the panel draws, made of our own paths in place of a platform symbol set.
enum class Symbol {
    MicFill,
    GearshapeFill,
    CheckmarkCircleFill,
    XmarkCircleFill,
    ExclamationmarkTriangleFill,
    ExclamationmarkShieldFill,
    SpeakerWave2Fill,
    SpeakerSlashFill,
    Power,
    ChevronDown,
    ArrowTriangleBranch,
    CheckmarkSquareFill,
};

namespace Symbols {

/// The filled outline of symbol in a size × size box at the origin; cut-outs (the check in its circle, the
/// exclamation mark in its triangle) are holes in the path.
QPainterPath path(Symbol symbol, qreal size);
/// Fills the symbol's outline, centred in box at the size of box's shorter side, in color.
void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color);

} // namespace Symbols

} // namespace murmeli::ui
