// When a decision's control takes a press, frame by frame as the panel draws it.

#include "main/notch/kit/Standing.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace murmeli;

// How the panel moved at the change: not at all, in the frame that drew it, or between two frames (none drawn while
// it moved), standing still again from the change.
enum class Panel { Still, MovingInTheFrame, MovedBetweenFrames };

// A control that stood its second takes presses; anything that moves it after that, a shift the eye sees, a trip out
// of view or a panel that moves, makes it wait a whole second again from the frame that draws it at rest.
TEST(StandingTest, AControlThatWasReadyWaitsItsSecondAgainOnceAnythingMovedIt)
{
    const QRectF at(10, 10, 80, 24);
    const struct {
        const char* what;
        QRectF movedTo;
        bool inView;
        Panel panel;
        qint64 pressedAfter; // the change
        bool takes;
    } rows[] = {
        { "nothing changed", at, true, Panel::Still, 0, true },
        { "moved 4 points, pressed 0.5 s after", at.translated(0, 4), true, Panel::Still, 500, false },
        { "moved 4 points, pressed 1.1 s after", at.translated(0, 4), true, Panel::Still, 1100, true },
        { "moved a quarter of a point", at.translated(0, 0.25), true, Panel::Still, 0, true },
        { "grew 4 points at its bottom, pressed 0.5 s after", at.adjusted(0, 0, 0, 4), true, Panel::Still, 500, false },
        { "out of view for a frame, pressed 0.5 s after", at, false, Panel::Still, 500, false },
        { "the panel moved for a frame, pressed 0.5 s after", at, true, Panel::MovingInTheFrame, 500, false },
        { "the panel moved between two frames, pressed 0.5 s after", at, true, Panel::MovedBetweenFrames, 500, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // On the heap, as the card keeps it: on the stack, at -O3, the compiler takes the empty optionals inside it
        // for read before they are set, and warns.
        const auto held = std::make_unique<notch::Standing>();
        notch::Standing& standing = *held;
        quint64 frame = 0;
        qint64 ms = 0;
        for (; ms < notch::Standing::decisionMs + 16; ms += 16) {
            standing.place(at, true, 0, ms, ++frame);
        }
        ASSERT_TRUE(standing.takes(ms - 16));
        const qint64 changed = ms;
        const std::optional<qint64> stillAtChange = row.panel == Panel::Still ? std::optional<qint64>(0)
            : row.panel == Panel::MovedBetweenFrames                          ? std::optional(changed)
                                                                              : std::nullopt;
        standing.place(row.movedTo, row.inView, stillAtChange, ms, ++frame);
        const qint64 stillSince = stillAtChange.value_or(changed + 16);
        for (ms += 16; ms <= changed + row.pressedAfter; ms += 16) {
            standing.place(row.movedTo, true, stillSince, ms, ++frame);
        }
        EXPECT_EQ(standing.takes(changed + row.pressedAfter), row.takes);
    }
}
