// When a decision's control takes a press, frame by frame as the panel draws it.

#include "main/notch/kit/Standing.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace murmeli;

// A control that stood its second takes presses; anything that moves it after that, a shift the eye sees, a trip out
// of view or a panel that moves, makes it wait a whole second again from the frame that draws it at rest.
TEST(StandingTest, AControlThatWasReadyWaitsItsSecondAgainOnceAnythingMovedIt)
{
    const QRectF at(10, 10, 80, 24);
    const struct {
        const char* what;
        QRectF movedTo;
        bool inView;
        bool panelStill;
        qint64 pressedAfter; // the change
        bool takes;
    } rows[] = {
        { "nothing changed", at, true, true, 0, true },
        { "moved 4 points, pressed 0.5 s after", at.translated(0, 4), true, true, 500, false },
        { "moved 4 points, pressed 1.1 s after", at.translated(0, 4), true, true, 1100, true },
        { "moved a quarter of a point", at.translated(0, 0.25), true, true, 0, true },
        { "out of view for a frame, pressed 0.5 s after", at, false, true, 500, false },
        { "the panel moved for a frame, pressed 0.5 s after", at, true, false, 500, false },
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
        standing.place(row.movedTo, row.inView, row.panelStill ? std::optional<qint64>(0) : std::nullopt, ms, ++frame);
        const qint64 stillSince = row.panelStill ? 0 : changed + 16;
        for (ms += 16; ms <= changed + row.pressedAfter; ms += 16) {
            standing.place(row.movedTo, true, stillSince, ms, ++frame);
        }
        EXPECT_EQ(standing.takes(changed + row.pressedAfter), row.takes);
    }
}
