// The times of the display's events on the panel's clock, with a display whose clock runs on a scale of its own.

#include "main/notch/kit/EventClock.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "main/notch/kit/Aim.h"

using namespace murmeli;

namespace {

/// A display whose clock reads startMs at the panel's 0 and runs at rate (1: as fast as the panel's).
struct DisplayScale {
    quint32 startMs = 5'000'000;
    double rate = 1;
    qint64 panelMs = 0;

    quint32 at(qint64 ms) const { return startMs + static_cast<quint32>(static_cast<qint64>(ms * rate)); }
};

/// An event: when it happened and when it was handled on the panel's clock, and its stamp (none: the display's
/// time when it happened).
struct Event {
    qint64 happenedMs;
    qint64 handledMs;
    std::optional<quint64> stamp;
};

} // namespace

// Whatever a single event's stamp says and however the display's clock runs, an event lands on the panel's clock no
// later than it happened and no later than it was handled, and every other event where it happened.
TEST(EventClockTest, NoEventNorADriftingDisplayMovesWhereTheOthersLand)
{
    const qint64 ahead = 20'000;
    const struct Row {
        std::string what;
        DisplayScale display;
        std::vector<Event> events;
        /// Where each lands; -1: where it happened.
        std::vector<qint64> lands;
        /// How long the display takes to answer the panel's first question of its time.
        qint64 firstAnswerLateMs = 0;
    } rows[] = {
        { "one event stamped 20 s ahead of the display's time, between two others", {},
            { { 1000, 1002, {} }, { 1500, 1501, 5'000'000 + 1500 + ahead }, { 2000, 2001, {} }, { 9000, 9001, {} } },
            { -1, 1000, -1, -1 } },
        { "a press stamped 0 after a move", {}, { { 1000, 1001, {} }, { 1300, 1400, 0 }, { 1600, 1601, {} } },
            { -1, 1000, -1 } },
        { "a display clock that runs 1 % slow, for a minute", { 5'000'000, 0.99 },
            { { 1000, 1001, {} }, { 30'000, 30'001, {} }, { 60'000, 60'001, {} }, { 60'500, 60'520, {} } },
            { -1, -1, -1, -1 } },
        { "a display clock that runs 1 % fast, for a minute", { 5'000'000, 1.01 },
            { { 1000, 1001, {} }, { 30'000, 30'001, {} }, { 60'000, 60'001, {} }, { 60'500, 60'520, {} } },
            { -1, -1, -1, -1 } },
        { "every event handled half a second late from the start", {},
            { { 1000, 1500, {} }, { 1100, 1600, {} }, { 2000, 2500, {} } }, { -1, -1, -1 } },
        { "the display's clock wraps", { 0xffffffffU - 1500, 1 }, { { 1000, 1001, {} }, { 2000, 2003, {} } },
            { -1, -1 } },
        { "the display's clock wraps between its reading and an event", { 0xffffffffU - 1500, 1 },
            { { 1000, 1001, {} }, { 1600, 1700, {} } }, { -1, -1 } },
        { "a busy machine stalls 30 ms while the display is first asked its time", {},
            { { 1000, 1001, {} }, { 1500, 1501, {} } }, { -1, -1 }, 30 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        qint64 panel = 0;
        qint64 late = row.firstAnswerLateMs;
        const DisplayScale display = row.display;
        notch::EventClock clock(
            [&] {
                panel += std::exchange(late, 0);
                return std::optional(display.at(panel));
            },
            [&] { return panel; });
        for (size_t i = 0; i < row.events.size(); ++i) {
            const Event& event = row.events[i];
            panel = event.handledMs;
            const qint64 landed = clock.map(event.stamp.value_or(display.at(event.happenedMs)), event.handledMs);
            const qint64 expected = row.lands[i] < 0 ? event.happenedMs : row.lands[i];
            // A drifting clock is read again now and then: in between it may be off by its drift, no more.
            EXPECT_NEAR(static_cast<double>(landed), static_cast<double>(expected), 10) << "event " << i + 1;
            EXPECT_LE(landed, event.handledMs) << "event " << i + 1;
        }
    }
}

// A busy machine stalls 300 ms in each of the first reading's questions, so every event lands 300 ms early until a
// quick reading puts it right. The hand's moves, 30 ms apart, go on landing about 30 ms apart across that reading and
// the next ones, never later than they happened: no pause of the hand, which the panel would take for a rest, and no
// press later than it went down.
TEST(EventClockTest, AReadingABusyMachineGotWrongIsPutRightWithoutAJumpBetweenTwoMoves)
{
    const DisplayScale display;
    qint64 panel = 0;
    int lateAnswers = notch::EventClock::readingAttempts;
    notch::EventClock clock(
        [&] {
            if (lateAnswers > 0) {
                --lateAnswers;
                panel += 300;
            }
            return std::optional(display.at(panel));
        },
        [&] { return panel; });
    std::optional<qint64> previous;
    for (qint64 happened = 1000; happened <= 20'000; happened += 30) {
        panel = happened + 1;
        const qint64 landed = clock.map(display.at(happened), panel);
        EXPECT_LE(landed, happened) << "the move at " << happened;
        if (previous) {
            EXPECT_LT(landed - *previous, notch::Hand::restMs / 4) << "the move at " << happened;
        }
        previous = landed;
    }
    EXPECT_NEAR(static_cast<double>(*previous), 19'990, 10) << "the reading was never put right";
}
