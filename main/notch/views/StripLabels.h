#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/views/Marquee.h"

// The one-line labels that carry a message in the closed strip. A label fixes its text style and the marquee's
// width and pass time; the marquee does the scrolling, the passes and the finish.
namespace murmeli::notch::StripLabels {

/// How a label runs: fullWidth present means across the whole strip (that width, 8 s passes); absent, inside one
/// ear (180 wide, 14 s passes). loops and onFinish go to the marquee unchanged.
struct Run {
    std::optional<qreal> fullWidth;
    std::optional<int> loops;
    std::function<void()> onFinish;
};

/// A label's content and, unless it is plain text, the marquee it runs in.
struct Label {
    std::optional<MarqueeSpec> marquee;
    std::unique_ptr<View> content;
};

/// An activity name split for the activity label: tool and, when there is one, target.
struct ActivityParts {
    QString tool;
    std::optional<QString> target;

    friend bool operator==(const ActivityParts&, const ActivityParts&) = default;
};

/// Splits at the first " · "; else at the first space, unless the name has none or holds "…" anywhere, when the
/// whole name is the tool.
ActivityParts activityParts(const QString& name);

Label approval(const QString& text, Run run = {});
Label summary(const QString& text, Run run = {});
Label error(const QString& text, Run run = {});
/// The tool and, 4 further right and muted, the target.
Label activity(const QString& name, Run run = {});
/// Plain text unless slow (an endless 20 s marquee in an ear) or full width.
Label completion(const QString& text, bool slow = false, Run run = {});

/// The label as a view: its marquee around its content, or the content alone.
std::unique_ptr<View> make(const ViewEnvironment& environment, Label label);

} // namespace murmeli::notch::StripLabels
