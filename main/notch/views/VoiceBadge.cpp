#include "main/notch/views/VoiceBadge.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>

#include "main/ui/design/Faces.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/views/SystemColors.h"

namespace murmeli::notch {

namespace {

constexpr qreal paddingX = 10;
constexpr qreal paddingY = 4;

struct Word {
    QString text;
    QFont font;
    QColor colour;
};

QList<Word> wordsOf(VoiceBadge::Kind kind)
{
    if (kind == VoiceBadge::Kind::Cancelled) {
        return {
            { QStringLiteral("\u2717"), ui::Faces::system(11, QFont::DemiBold), SystemColors::red },
            { QStringLiteral("Cancelled"), ui::Faces::systemMono(10, QFont::Medium), SystemColors::red },
        };
    }
    QList<Word> words { { QStringLiteral("Esc to cancel"), ui::Faces::systemMono(10, QFont::Medium),
        SystemColors::secondaryLabel } };
    if (kind == VoiceBadge::Kind::AwaitingCommitRaw) {
        QColor muted = SystemColors::secondaryLabel;
        muted.setAlphaF(muted.alphaF() * 0.6f);
        words.append({ QStringLiteral("(raw)"), ui::Faces::systemMono(9, QFont::Normal), muted });
    }
    return words;
}

} // namespace

VoiceBadge::VoiceBadge(Kind kind) : m_kind(kind) { }

QStringList VoiceBadge::words() const
{
    QStringList texts;
    for (const Word& word : wordsOf(m_kind)) {
        texts.append(word.text);
    }
    return texts;
}

QSizeF VoiceBadge::idealSize() const
{
    std::vector<RowItem> items;
    qreal height = m_kind == Kind::Cancelled ? 0 : dot;
    if (m_kind != Kind::Cancelled) {
        items.push_back({ dot });
    }
    for (const Word& word : wordsOf(m_kind)) {
        const QFontMetricsF metrics(word.font);
        items.push_back({ metrics.horizontalAdvance(word.text) });
        height = std::max(height, metrics.height());
    }
    return { rowWidth(items, spacing) + 2 * paddingX, height + 2 * paddingY + spaceAbove };
}

void VoiceBadge::paint(QPainter& painter, const QRectF& frame, qint64)
{
    const QRectF outer = aligned(idealSize(), frame);
    const QRectF capsule = outer.adjusted(0, spaceAbove, 0, 0);
    painter.save();
    painter.setPen(Qt::NoPen);
    QColor fill = m_kind == Kind::Cancelled ? SystemColors::red : QColor(Qt::black);
    fill.setAlphaF(m_kind == Kind::Cancelled ? 0.12f : 0.25f);
    painter.setBrush(fill);
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    qreal x = capsule.left() + paddingX;
    const qreal midY = capsule.center().y();
    if (m_kind != Kind::Cancelled) {
        painter.setBrush(m_kind == Kind::AwaitingCommitRaw ? SystemColors::orange : SystemColors::green);
        painter.drawEllipse(QRectF(x, midY - dot / 2, dot, dot));
        x += dot + spacing;
    }
    for (const Word& word : wordsOf(m_kind)) {
        const QFontMetricsF metrics(word.font);
        painter.setFont(word.font);
        painter.setPen(word.colour);
        painter.drawText(QPointF(x, midY - metrics.height() / 2 + metrics.ascent()), word.text);
        x += metrics.horizontalAdvance(word.text) + spacing;
    }
    painter.restore();
}

} // namespace murmeli::notch
