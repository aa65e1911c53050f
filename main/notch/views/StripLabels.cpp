#include "main/notch/views/StripLabels.h"

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/notch/kit/RowView.h"
#include "main/notch/kit/TextView.h"
#include "main/notch/layout/NotchLayout.h"
#include "main/notch/layout/NotchMotion.h"

namespace murmeli::notch::StripLabels {

namespace {

MarqueeSpec marqueeFor(const Run& run)
{
    if (run.fullWidth) {
        return { *run.fullWidth, NotchMotion::fullWidthMarqueeSec, run.loops, run.onFinish };
    }
    return { NotchLayout::marqueeMaxWidth, NotchMotion::marqueeSec, run.loops, run.onFinish };
}

Label textLabel(const QString& text, TextStyle style, const Run& run)
{
    return { marqueeFor(run), std::make_unique<TextView>(text, std::move(style)) };
}

} // namespace

ActivityParts activityParts(const QString& name)
{
    const QString separator = QStringLiteral(" \u00B7 ");
    const qsizetype dot = name.indexOf(separator);
    if (dot >= 0) {
        return { name.left(dot), name.mid(dot + separator.size()) };
    }
    const qsizetype space = name.indexOf(QLatin1Char(' '));
    if (space < 0 || name.contains(QChar(0x2026))) {
        return { name, std::nullopt };
    }
    return { name.left(space), name.mid(space + 1) };
}

Label approval(const QString& text, Run run)
{
    return textLabel(text, { ui::Faces::instrumentSans(11, QFont::DemiBold), ui::Color::vantorSignalAmber }, run);
}

Label summary(const QString& text, Run run)
{
    return textLabel(text, { ui::Faces::instrumentSans(12, QFont::Medium), ui::Color::vantorBrass }, run);
}

Label error(const QString& text, Run run)
{
    return textLabel(text, { ui::Faces::instrumentSans(11, QFont::Medium), ui::Color::vantorText }, run);
}

Label activity(const QString& name, Run run)
{
    const ActivityParts parts = activityParts(name);
    auto row = std::make_unique<RowView>(4);
    row->append(std::make_unique<TextView>(
        parts.tool, TextStyle { ui::Faces::instrumentSans(11, QFont::DemiBold), ui::Color::vantorText }));
    if (parts.target && !parts.target->isEmpty()) {
        row->append(std::make_unique<TextView>(
            *parts.target, TextStyle { ui::Faces::geistMono(10, QFont::Normal), ui::Color::vantorTextMuted }));
    }
    return { marqueeFor(run), std::move(row) };
}

Label completion(const QString& text, bool slow, Run run)
{
    Label label = textLabel(text, { ui::Faces::geistMono(10.5, QFont::Medium), ui::Color::vantorText }, run);
    if (!run.fullWidth) {
        label.marquee = slow ? std::optional<MarqueeSpec>(
                            MarqueeSpec { NotchLayout::marqueeMaxWidth, NotchMotion::slowMarqueeSec, std::nullopt, {} })
                             : std::nullopt;
    }
    return label;
}

std::unique_ptr<View> make(const ViewEnvironment& environment, Label label)
{
    if (!label.marquee) {
        return std::move(label.content);
    }
    return std::make_unique<Marquee>(environment, std::move(*label.marquee), std::move(label.content));
}

} // namespace murmeli::notch::StripLabels
