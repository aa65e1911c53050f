#pragma once

#include <vector>

#include <QRectF>
#include <QtGlobal>

namespace murmeli::notch {

/// One child of a row as the row lays it out: its width, or the least width of a flexible child (a spacer, or a
/// frame with no maximum width) that takes a share of the free width.
struct RowItem {
    qreal width = 0;
    bool flexible = false;
};

/// A stretch of a row: where a child starts and how wide it is.
struct Span {
    qreal x = 0;
    qreal width = 0;
};

/// Space added on the named edges only.
struct Insets {
    qreal left = 0;
    qreal top = 0;
    qreal right = 0;
    qreal bottom = 0;

    static Insets horizontal(qreal length) { return { length, 0, length, 0 }; }
    static Insets vertical(qreal length) { return { 0, length, 0, length }; }
};

/// The spans of items in a row of the given width starting at x: neighbours are spacing apart, fixed items keep their
/// width and flexible ones share the free width equally, never below their least width. When nothing is flexible and
/// the row has room to spare, the items sit in its middle; when they do not fit, they overflow on the right.
std::vector<Span> layoutRow(const std::vector<RowItem>& items, qreal spacing, qreal x, qreal width);

/// The width a row of items needs: every item at its (least) width, with spacing between neighbours.
qreal rowWidth(const std::vector<RowItem>& items, qreal spacing);

/// rect shrunk by insets.
QRectF inset(const QRectF& rect, const Insets& insets);

/// A box of size placed in frame by alignment (any of Qt's horizontal and vertical flags; centred by default).
QRectF aligned(const QSizeF& size, const QRectF& frame, Qt::Alignment alignment = Qt::AlignCenter);

} // namespace murmeli::notch
