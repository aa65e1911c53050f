#include "main/notch/views/UsageHeader.h"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QPainter>

#include "main/notch/views/SystemColors.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Paragraph.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

using SystemColors::white;
using SystemColors::withAlpha;

constexpr qreal stackSpacing = 6;
constexpr qreal bottomPadding = 2;
constexpr qreal tabSpacing = 6;
constexpr qreal tabPaddingX = 8;
constexpr qreal tabPaddingY = 3;
constexpr qreal metricSpacing = 3;
constexpr qreal metricLabelWidth = 60;
constexpr qreal metricGap = 6;

QFont titleFont()
{
    return ui::Faces::system(11, QFont::DemiBold);
}

QFont updateFont()
{
    return ui::Faces::systemMono(9, QFont::Medium);
}

QFont tabFont(bool selected)
{
    return ui::Faces::system(10, selected ? QFont::DemiBold : QFont::Medium);
}

QFont metricFont(QFont::Weight weight = QFont::Medium)
{
    return ui::Faces::systemMono(10, weight);
}

qreal lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

void drawText(QPainter& painter, const QString& text, const QFont& font, const QColor& colour, QPointF topLeft)
{
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(topLeft + QPointF(0, QFontMetricsF(font).ascent()), text);
}

} // namespace

int UsageHeader::safeIndex(int selected, int count)
{
    return std::min(count - 1, std::max(selected, 0));
}

QString UsageHeader::tabLabel(const usage::CodexBarProviderUsage& usage)
{
    const QString name = usage::CodexBarProviderUsage::displayName(usage.providerID);
    return usage.plan && !usage.plan->isEmpty() ? name + QLatin1Char(' ') + *usage.plan : name;
}

QString UsageHeader::lastUpdatedText(const std::optional<QDateTime>& lastUpdate)
{
    return QStringLiteral("Last Updated: ")
        + (lastUpdate ? lastUpdate->toLocalTime().toString(QStringLiteral("MMdd-HH:mm")) : QStringLiteral("\u2014"));
}

QString UsageHeader::formattedReset(
    const std::optional<QDateTime>& resetsAt, const std::optional<QString>& fallback, const QDateTime& now)
{
    if (!resetsAt) {
        return fallback && !fallback->isEmpty() ? *fallback : QStringLiteral("resets soon");
    }
    const qint64 s = std::llround(now.msecsTo(*resetsAt) / 1000.0);
    QString when;
    if (s < 60) {
        when = QStringLiteral("soon");
    } else if (s >= 86400) {
        when = QString::number(s / 86400) + QLatin1Char('d');
    } else if (s >= 3600) {
        const qint64 rest = s % 3600;
        when = QString::number(s / 3600) + QLatin1Char('h');
        if (rest >= 60) {
            when += QLatin1Char(' ') + QString::number(rest / 60) + QLatin1Char('m');
        }
    } else {
        when = QString::number(s / 60) + QLatin1Char('m');
    }
    return QStringLiteral("resets in ") + when;
}

UsageHeader::MetricLine UsageHeader::metricLine(const QString& label, int percent,
    const std::optional<QDateTime>& resetsAt, const std::optional<QString>& fallback, const QDateTime& now)
{
    const int left = 100 - percent;
    const QColor colour = left >= 70 ? ui::Color::vantorSignalGreen
        : left >= 20                 ? ui::Color::vantorSignalAmber
                                     : ui::Color::vantorSignalRed;
    return { label + QLatin1Char(':'), QStringLiteral("%1% left").arg(std::max(left, 0), 3), colour, left <= 9,
        formattedReset(resetsAt, fallback, now) };
}

std::vector<UsageHeader::MetricLine> UsageHeader::metricLines(
    const usage::CodexBarProviderUsage& usage, const QDateTime& now)
{
    std::vector<MetricLine> lines { metricLine(
        QStringLiteral("5h"), usage.primaryPercent, usage.primaryResetsAt, usage.primaryResetDescription, now) };
    if (usage.secondary) {
        lines.push_back(metricLine(QStringLiteral("7d"), usage.secondary->usedPercent, usage.secondary->resetsAt,
            usage.secondary->resetDescription, now));
    }
    if (usage.extraRateWindows) {
        for (const auto& extra : *usage.extraRateWindows) {
            lines.push_back(metricLine(QLatin1Char('+') + extra.title, extra.window.usedPercent, extra.window.resetsAt,
                extra.window.resetDescription, now));
        }
    }
    return lines;
}

void UsageHeader::update(std::vector<usage::CodexBarProviderUsage> snapshots, int selectedIndex, QDateTime now)
{
    m_snapshots = std::move(snapshots);
    m_selected = selectedIndex;
    m_now = std::move(now);
}

qreal UsageHeader::heightForWidth(qreal width) const
{
    if (m_snapshots.empty()) {
        return 0;
    }
    const qreal title = std::max(lineHeight(titleFont()), lineHeight(updateFont()));
    const qreal tabs = lineHeight(tabFont(true)) + 2 * tabPaddingY;
    const auto& usage = m_snapshots[static_cast<size_t>(safeIndex(m_selected, static_cast<int>(m_snapshots.size())))];
    qreal content = 0;
    if (usage.isFinancial()) {
        const ui::Paragraph balance(
            usage.primaryResetDescription.value_or(QStringLiteral("\u2014")), { metricFont(), {} }, 2);
        content = balance.sizeFor(std::max<qreal>(width, 1)).height();
    } else {
        const auto lines = static_cast<qreal>(metricLines(usage, m_now).size());
        content = lines * lineHeight(metricFont()) + (lines - 1) * metricSpacing;
    }
    return title + stackSpacing + tabs + stackSpacing + content + bottomPadding;
}

void UsageHeader::paint(QPainter& painter, const QRectF& frame, qint64)
{
    m_tabFrames.clear();
    if (m_snapshots.empty()) {
        return;
    }
    const int selected = safeIndex(m_selected, static_cast<int>(m_snapshots.size()));
    const auto& usage = m_snapshots[static_cast<size_t>(selected)];
    painter.save();
    qreal y = frame.top();

    const qreal titleHeight = std::max(lineHeight(titleFont()), lineHeight(updateFont()));
    drawText(painter, QStringLiteral("Usage"), titleFont(), white(0.85),
        QPointF(frame.left(), y + (titleHeight - lineHeight(titleFont())) / 2));
    const QString updated = lastUpdatedText(usage.lastUpdate);
    drawText(painter, updated, updateFont(), white(0.45),
        QPointF(frame.right() - QFontMetricsF(updateFont()).horizontalAdvance(updated),
            y + (titleHeight - lineHeight(updateFont())) / 2));
    y += titleHeight + stackSpacing;

    const qreal tabHeight = lineHeight(tabFont(true)) + 2 * tabPaddingY;
    qreal x = frame.left();
    for (size_t i = 0; i < m_snapshots.size(); ++i) {
        const bool isSelected = static_cast<int>(i) == selected;
        const QString label = tabLabel(m_snapshots[i]);
        const QFont font = tabFont(isSelected);
        const QRectF tab(x, y, QFontMetricsF(font).horizontalAdvance(label) + 2 * tabPaddingX, tabHeight);
        m_tabFrames.push_back(tab);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isSelected ? QColor::fromRgbF(0.89f, 0.70f, 0.36f, 0.2f) : white(0.04));
        painter.drawRoundedRect(tab, tabHeight / 2, tabHeight / 2);
        drawText(painter, label, font, white(isSelected ? 0.92 : 0.55),
            QPointF(tab.left() + tabPaddingX, tab.top() + tabPaddingY));
        x = tab.right() + tabSpacing;
    }
    y += tabHeight + stackSpacing;

    if (usage.isFinancial()) {
        const ui::Paragraph balance(
            usage.primaryResetDescription.value_or(QStringLiteral("\u2014")), { metricFont(), white(0.85) }, 2);
        balance.paint(painter, QPointF(frame.left(), y), frame.width());
        painter.restore();
        return;
    }
    const qreal rowHeight = lineHeight(metricFont());
    for (const MetricLine& line : metricLines(usage, m_now)) {
        qreal lx = frame.left();
        drawText(painter, line.label, metricFont(), white(0.7), QPointF(lx, y));
        lx += metricLabelWidth + metricGap;
        const QFont leftFont = metricFont(line.bold ? QFont::Bold : QFont::Medium);
        drawText(painter, line.left, leftFont, line.colour, QPointF(lx, y));
        lx += QFontMetricsF(leftFont).horizontalAdvance(line.left) + metricGap;
        const QFont dotFont = ui::Faces::system(10, QFont::Normal);
        drawText(painter, QStringLiteral("\u00B7"), dotFont, white(0.35), QPointF(lx, y));
        lx += QFontMetricsF(dotFont).horizontalAdvance(QStringLiteral("\u00B7")) + metricGap;
        const QFontMetricsF resetMetrics(metricFont());
        drawText(painter, resetMetrics.elidedText(line.reset, Qt::ElideRight, std::max<qreal>(frame.right() - lx, 0)),
            metricFont(), white(0.55), QPointF(lx, y));
        y += rowHeight + metricSpacing;
    }
    painter.restore();
}

bool UsageHeader::pointer(PointerPhase phase, QPointF pos)
{
    const auto hit
        = std::find_if(m_tabFrames.begin(), m_tabFrames.end(), [pos](const QRectF& r) { return r.contains(pos); });
    const int index = hit == m_tabFrames.end() ? -1 : static_cast<int>(hit - m_tabFrames.begin());
    if (phase == PointerPhase::Down) {
        m_pressedTab = index;
        return index >= 0;
    }
    if (phase == PointerPhase::Up && m_pressedTab >= 0) {
        const bool tapped = index == std::exchange(m_pressedTab, -1);
        if (tapped && onSelectTab) {
            onSelectTab(index);
        }
        return true;
    }
    return false;
}

} // namespace murmeli::notch
