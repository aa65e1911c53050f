#include "main/app/ptt/FnDoubleTapDetector.h"

#include <gtest/gtest.h>

#include <vector>

namespace murmeli::app {

namespace {

// One step of a synthetic sequence: a modifier change, or another key when `key` is set.
struct Step {
    qint64 atMs;
    bool fnDown;
    bool other = false;
    bool key = false;
};

TEST(FnDoubleTapDetectorTest, SequencesOfFnChangesGiveDoubleTaps)
{
    struct Row {
        const char* name;
        std::vector<Step> steps;
        bool enabled;
        int taps;
    };
    const Row rows[] = {
        { "quick double tap", { { 0, true }, { 100, false }, { 300, true } }, true, 1 },
        { "at both limits", { { 0, true }, { 300, false }, { 700, true } }, true, 1 },
        { "first press held too long", { { 0, true }, { 301, false }, { 400, true } }, true, 0 },
        { "second press too late", { { 0, true }, { 100, false }, { 501, true } }, true, 0 },
        { "a key in between", { { 0, true }, { 100, false }, { 150, false, false, true }, { 200, true } }, true, 0 },
        { "with shift held", { { 0, true, true }, { 100, false, true }, { 200, true, true } }, true, 0 },
        { "switched off", { { 0, true }, { 100, false }, { 200, true } }, false, 0 },
        { "a repeated down is no new press", { { 0, true }, { 50, true }, { 100, false }, { 200, true } }, true, 1 },
        { "three taps: one double tap, then a fresh first tap",
            { { 0, true }, { 50, false }, { 100, true }, { 150, false }, { 200, true } }, true, 1 },
        { "four taps: two double taps",
            { { 0, true }, { 50, false }, { 100, true }, { 150, false }, { 200, true }, { 250, false }, { 300, true } },
            true, 2 },
        { "a slow tap then a quick pair", { { 0, true }, { 500, false }, { 600, true }, { 650, false }, { 700, true } },
            true, 1 },
    };
    for (const Row& row : rows) {
        FnDoubleTapDetector detector;
        int taps = 0;
        detector.enabled = [&] { return row.enabled; };
        detector.onDoubleTap = [&] { ++taps; };
        for (const Step& step : row.steps) {
            if (step.key) {
                detector.handleOtherKey();
            } else {
                detector.handleFlagsChanged({ step.atMs, step.fnDown, step.other });
            }
        }
        EXPECT_EQ(taps, row.taps) << row.name;
    }
}

} // namespace
} // namespace murmeli::app
