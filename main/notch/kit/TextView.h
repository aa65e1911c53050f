#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "main/notch/kit/View.h"
#include "main/ui/design/TextStyle.h"

namespace murmeli::notch {

using ui::TextStyle;

/// One line of text at its ideal width, measured with QFontMetricsF; never wrapped or cut by itself (a parent that
/// wants it clipped clips it). Drawn with its line box centred in the frame.
class TextView final : public View {
public:
    TextView(QString text, TextStyle style);

    const QString& text() const { return m_text; }
    const TextStyle& style() const { return m_style; }

    QSizeF idealSize() const override { return m_size; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    QString m_text;
    TextStyle m_style;
    QSizeF m_size;
    qreal m_ascent = 0;
};

} // namespace murmeli::notch
