#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QColor>
#include <QDateTime>
#include <QRectF>
#include <QString>

#include "main/notch/kit/View.h"
#include "main/usage/CodexBarProviderUsage.h"

namespace murmeli::notch {

/// The top of the session list: the usage tool's providers as tabs, and for the chosen one how much of each usage
/// window is left and when it resets, or a pay-as-you-go provider's balance.
class UsageHeader final : public View {
public:
    /// One usage window's line as it reads.
    struct MetricLine {
        QString label;
        /// "%3d% left" of what is left, never below 0.
        QString left;
        QColor colour;
        bool bold = false;
        QString reset;

        friend bool operator==(const MetricLine&, const MetricLine&) = default;
    };

    /// The chosen tab, held to the providers there are.
    static int safeIndex(int selected, int count);
    /// The provider's display name, and its plan after a blank when it has one.
    static QString tabLabel(const usage::CodexBarProviderUsage& usage);
    /// "Last Updated: " and the time as MMdd-HH:mm in the local zone, or "—".
    static QString lastUpdatedText(const std::optional<QDateTime>& lastUpdate);
    /// "resets in 1h 30m", "resets in soon", the fallback, or "resets soon".
    static QString formattedReset(
        const std::optional<QDateTime>& resetsAt, const std::optional<QString>& fallback, const QDateTime& now);
    /// The line of one window used percent per cent.
    static MetricLine metricLine(const QString& label, int percent, const std::optional<QDateTime>& resetsAt,
        const std::optional<QString>& fallback, const QDateTime& now);
    /// The lines of a provider that is not pay-as-you-go: 5h, then 7d, then each extra window.
    static std::vector<MetricLine> metricLines(const usage::CodexBarProviderUsage& usage, const QDateTime& now);

    /// A tap on tab i.
    std::function<void(int)> onSelectTab;

    /// New inputs from the surface; now is the time the reset texts are worked out against.
    void update(std::vector<usage::CodexBarProviderUsage> snapshots, int selectedIndex, QDateTime now);

    /// The height at width.
    qreal heightForWidth(qreal width) const;
    /// Where the last frame drew each tab.
    const std::vector<QRectF>& tabFrames() const { return m_tabFrames; }

    QSizeF idealSize() const override { return { 0, heightForWidth(0) }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    std::vector<usage::CodexBarProviderUsage> m_snapshots;
    int m_selected = 0;
    QDateTime m_now;
    std::vector<QRectF> m_tabFrames;
    int m_pressedTab = -1;
};

} // namespace murmeli::notch
