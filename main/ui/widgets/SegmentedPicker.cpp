#include "main/ui/widgets/SegmentedPicker.h"

#include <algorithm>

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

namespace {

constexpr int paddingH = 12;
constexpr int paddingV = 5;
constexpr int inset = 2;

} // namespace

SegmentedPicker::SegmentedPicker(QList<Segment> segments, int maxWidth, QWidget* parent)
    : QWidget(parent), m_segments(std::move(segments)), m_maxWidth(maxWidth)
{
    setFont(ui::Faces::instrumentSans(12, QFont::Medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setProperty(FocusRing::radiusProperty, 7);
}

void SegmentedPicker::setCurrentTag(const QString& tag)
{
    if (tag == m_currentTag) {
        return;
    }
    m_currentTag = tag;
    update();
    Q_EMIT currentTagChanged(tag);
}

QSize SegmentedPicker::sizeHint() const
{
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const Segment& segment : m_segments) {
        widest = std::max(widest, metrics.horizontalAdvance(segment.title));
    }
    const int width = static_cast<int>(m_segments.size()) * (widest + 2 * paddingH) + 2 * inset;
    return { std::min(width, m_maxWidth), metrics.height() + 2 * paddingV + 2 * inset };
}

QRect SegmentedPicker::segmentRect(const QString& tag) const
{
    if (m_segments.isEmpty()) {
        return {};
    }
    const int count = static_cast<int>(m_segments.size());
    const int segmentWidth = (width() - 2 * inset) / count;
    for (int i = 0; i < count; ++i) {
        if (m_segments.at(i).tag == tag) {
            return { inset + i * segmentWidth, inset, segmentWidth, height() - 2 * inset };
        }
    }
    return {};
}

void SegmentedPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    KitPainting::roundedBox(painter, QRectF(rect()), 7, ui::Color::vantorSurface3,
        SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.3), 0.5);
    painter.setFont(font());
    for (const Segment& segment : m_segments) {
        const QRectF box(segmentRect(segment.tag));
        const bool chosen = segment.tag == m_currentTag;
        if (chosen) {
            KitPainting::roundedBox(painter, box, 5, SettingsDesign::withOpacity(ui::Color::vantorBrass, 0.22));
        }
        painter.setPen(chosen ? ui::Color::vantorBrass : ui::Color::vantorText);
        painter.drawText(box, Qt::AlignCenter, segment.title);
    }
}

void SegmentedPicker::mousePressEvent(QMouseEvent* event)
{
    for (const Segment& segment : m_segments) {
        if (segmentRect(segment.tag).contains(event->position().toPoint())) {
            setCurrentTag(segment.tag);
            return;
        }
    }
}

void SegmentedPicker::keyPressEvent(QKeyEvent* event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0 || m_segments.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const auto current = std::find_if(
        m_segments.begin(), m_segments.end(), [this](const Segment& segment) { return segment.tag == m_currentTag; });
    // The arrows move the choice one segment and stop at either end; with none chosen they start at that end.
    const qsizetype from
        = current == m_segments.end() ? (step > 0 ? -1 : m_segments.size()) : current - m_segments.begin();
    setCurrentTag(m_segments.at(std::clamp<qsizetype>(from + step, 0, m_segments.size() - 1)).tag);
}

} // namespace murmeli::ui
