// The panel's one aim rule, on its own: a control, the hand's moves over the panel, and presses, on a fake clock.

#include "main/notch/kit/Aim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::Aim;
using notch::Hand;

namespace {

/// The button every row is about, and where the hand rests before it sets off.
const QRectF button(300, 200, 60, 24);
const QPointF restingPoint(120, 60);

struct Scene {
    test::FakeClock clock;
    Hand hand;
    Aim aim;
    std::optional<QPointF> pointer;
    /// What each press met: None where the button took it, else why it did not (and so how it was drawn).
    std::vector<Aim::Miss> presses;

    qint64 now() const { return clock.monotonicMs(); }
    void at(qint64 ms) { clock.advance(ms - now()); }
    void move(QPointF to)
    {
        pointer = to;
        hand.moved(now());
        aim.moved(to, hand);
    }
    void leave()
    {
        pointer.reset();
        hand.left();
        aim.moved(std::nullopt, hand);
    }
    void place(const QRectF& frame) { aim.place(frame, pointer, hand, now()); }
    void press()
    {
        aim.pressed(*pointer, hand, now());
        presses.push_back(aim.isAimedAt(*pointer, now()) ? Aim::Miss::None : aim.miss());
    }
    /// A hand's aimed move from where the pointer is to `to` over ms, with the velocity profile of a person's reach
    /// (minimum jerk), reported every 8 ms as the desktop does.
    void reach(QPointF to, qint64 ms)
    {
        const QPointF from = *pointer;
        const qint64 start = now();
        for (qint64 t = 8; t < ms; t += 8) {
            const double s = static_cast<double>(t) / ms;
            at(start + t);
            move(from + (to - from) * (10 * std::pow(s, 3) - 15 * std::pow(s, 4) + 6 * std::pow(s, 5)));
        }
        at(start + ms);
        move(to);
    }
    /// The button has stood still for a second when the hand, resting beside it, reaches onto it at `to`.
    void aimOnto(QPointF to)
    {
        place(button);
        move(restingPoint);
        at(now() + 1000);
        reach(to, 300);
    }
    /// The button stands still while the hand goes out of the panel for three seconds and comes back in at entry.
    void backInFromOutside(QPointF entry)
    {
        place(button);
        move(restingPoint);
        at(1000);
        leave();
        at(4000);
        move(entry);
    }
    /// Off the button and back, 150 ms each way, and a click.
    void offAndBack(QPointF off, QPointF on)
    {
        reach(off, 150);
        reach(on, 150);
        press();
    }
    /// The panel springs open at the clock's time and stands still after ms: the button slides into place, drawn at
    /// each 16 ms frame, the last of them at rest.
    void springOpen(qint64 ms, const std::function<void()>& duringTheSpring = {})
    {
        const qint64 start = now();
        hand.opened(start);
        for (qint64 t = 0; t <= ms; t += 16) {
            at(start + t);
            place(button.translated(0, -40 * (1 - static_cast<double>(t) / ms)));
            if (duringTheSpring) {
                duringTheSpring();
            }
        }
        hand.stoodStill(now());
    }
};

using enum Aim::Miss;

struct Row {
    const char* name;
    std::function<void(Scene&)> play;
    std::vector<Aim::Miss> presses;
    /// The button lies along the screen's top edge, as the strip's controls do.
    bool onTheEdge = true;
};

} // namespace

TEST(AimTest, APressCountsWhenTheHandSetOffForAControlThatStoodStill)
{
    const QPointF onIt = button.center() + QPointF(22, 8);
    const QPointF offIt = button.center() + QPointF(0, 40);
    const std::vector<Row> rows {
        { "an aimed move onto a button that stood still, a click 40 ms after arriving",
            [&](Scene& s) {
                s.place(button);
                s.at(5000);
                s.move(restingPoint);
                s.at(6000);
                s.reach(onIt, 150);
                s.at(s.now() + 40);
                s.press();
            },
            { None } },
        { "a slow aimed move, a click at once; a 1 px wobble on it changes nothing",
            [&](Scene& s) {
                s.place(button);
                s.move(restingPoint);
                s.at(3000);
                s.reach(onIt, 600);
                s.press();
                s.move(onIt + QPointF(-1, 1));
                s.press();
            },
            { None, None } },
        { "the panel grows under a hand still travelling onto the button: refused until the hand has rested on it a "
          "beat",
            [&](Scene& s) {
                s.move(restingPoint);
                s.springOpen(640, [&] {
                    if (s.now() >= 300 && !s.aim.frame().contains(onIt)) {
                        s.move(s.aim.frame().center());
                    }
                });
                s.reach(onIt, 80);
                s.at(s.now() + 120);
                s.press();
                s.at(s.now() + Aim::readyOnTheEdgeAfterRestMs - 120 - 1);
                s.press();
                s.at(s.now() + 1);
                s.press();
                s.offAndBack(offIt, onIt);
            },
            { Arriving, Arriving, None, None } },
        { "a hand still travelling as the panel settles reaches a button that stood where it is all along",
            [&](Scene& s) {
                s.place(button);
                s.move(restingPoint);
                s.hand.opened(0);
                for (qint64 t = 16; t <= 600; t += 16) {
                    s.at(t);
                    s.move(restingPoint + (onIt - restingPoint) * (static_cast<double>(t) / 600));
                }
                s.at(640);
                s.hand.stoodStill(640);
                s.at(700);
                s.press();
            },
            { Arriving } },
        { "a card's button the hand met while the panel arrived: ready once the pointer has rested on it its beat, "
          "which a 1 px wobble starts again",
            [&](Scene& s) {
                s.place(button);
                s.move(restingPoint);
                s.hand.opened(0);
                s.at(100);
                s.reach(onIt, 300);
                s.at(640);
                s.hand.stoodStill(640);
                s.at(400 + Aim::readyAfterRestMs - 100);
                s.move(onIt + QPointF(1, 0));
                s.at(s.now() + Aim::readyAfterRestMs - 1);
                s.press();
                s.at(s.now() + 1);
                s.press();
            },
            { Arriving, None }, false },
        { "the panel opens under a pointer at rest where the button comes to stand: refused until the pointer has "
          "rested on it its beat, then taken, never dead",
            [&](Scene& s) {
                s.move(onIt);
                s.springOpen(640);
                s.at(s.now() + Aim::readyOnTheEdgeAfterRestMs - 1);
                s.press();
                s.at(s.now() + 1);
                s.press();
            },
            { CameUnder, None } },
        { "the hand rests on the strip while the panel settles, then goes on to the button: the first click counts",
            [&](Scene& s) {
                s.move(restingPoint);
                s.springOpen(640);
                s.at(800);
                s.reach(onIt, 300);
                s.at(s.now() + 80);
                s.press();
            },
            { None } },
        { "the button is replaced under a resting pointer: refused until the pointer has rested on what it means now "
          "a beat",
            [&](Scene& s) {
                s.aimOnto(onIt);
                s.press();
                s.at(1400);
                s.aim.renew(s.pointer, s.hand, s.now());
                s.at(1400 + Aim::readyOnTheEdgeAfterRestMs - 1);
                s.press();
                s.at(1400 + Aim::readyOnTheEdgeAfterRestMs);
                s.press();
            },
            { None, CameUnder, None } },
        { "the list scrolls the button under a resting pointer: refused until the pointer leaves and comes back",
            [&](Scene& s) {
                s.place(button.translated(0, 90));
                s.move(restingPoint);
                s.at(1000);
                s.reach(onIt, 300);
                s.at(1700);
                s.place(button.translated(0, 2));
                s.place(button);
                s.at(1800);
                s.press();
                s.move(onIt + QPointF(0, 1));
                s.press();
                s.at(2200);
                s.offAndBack(offIt, onIt);
            },
            { CameUnder, CameUnder, None } },
        { "the button grows where it stands under the pointer that clicked it: still the same button",
            [&](Scene& s) {
                s.aimOnto(onIt);
                s.press();
                s.place(button.adjusted(0, 0, 0, 30));
                s.press();
            },
            { None, None } },
        { "the pointer left the panel from the button, unheard by it as the panel closed; the button took a new "
          "meaning meanwhile; the panel opens again, and the hand's way onto it comes as one move: the first click "
          "counts",
            [&](Scene& s) {
                s.aimOnto(onIt);
                s.press();
                s.at(2000);
                s.pointer.reset();
                s.hand.left();
                s.at(3000);
                s.aim.renew(s.pointer, s.hand, s.now());
                s.at(4000);
                s.hand.opened(4000);
                s.at(4640);
                s.hand.stoodStill(4640);
                s.at(5000);
                s.move(onIt);
                s.press();
            },
            { None, None } },
        { "back from outside the panel, sliding along its top edge onto a button: refused until the hand rests and "
          "comes back",
            [&](Scene& s) {
                s.backInFromOutside(QPointF(button.right() + 90, button.center().y()));
                s.reach(onIt, 300);
                s.at(s.now() + 120);
                s.press();
                s.at(s.now() + 400);
                s.offAndBack(offIt, onIt);
            },
            { Unaimed, None } },
        { "back from outside onto a button, creeping on over it; a busy machine draws a frame 600 ms on before it "
          "handles the moves: the beat runs from the last move, by when the moves happened",
            [&](Scene& s) {
                s.backInFromOutside(QPointF(button.right() + 90, button.center().y()));
                s.reach(onIt, 300);
                const qint64 arrived = s.now();
                s.at(arrived + 600);
                s.aim.rest(s.hand, s.now());
                for (int step = 1; step <= 3; ++step) {
                    s.pointer = onIt - QPointF(3 * step, 0);
                    s.hand.moved(arrived + 30 * step);
                    s.aim.moved(s.pointer, s.hand);
                }
                for (const qint64 after : { Aim::readyOnTheEdgeAfterRestMs - 50, Aim::readyOnTheEdgeAfterRestMs }) {
                    s.aim.pressed(*s.pointer, s.hand, arrived + 90 + after);
                    s.presses.push_back(s.aim.isAimedAt(*s.pointer, arrived + 90 + after) ? None : s.aim.miss());
                }
            },
            { Unaimed, None } },
        { "the same way in from outside onto a button away from the top edge, once the panel stood still: the first "
          "click counts; one that came in as the button took its meaning does not",
            [&](Scene& s) {
                s.backInFromOutside(QPointF(button.center().x(), button.bottom() + 120));
                s.reach(onIt, 300);
                s.at(s.now() + 80);
                s.press();
                s.leave();
                s.at(6000);
                s.aim.renew(s.pointer, s.hand, s.now());
                s.at(6100);
                s.move(QPointF(button.center().x(), button.bottom() + 120));
                s.reach(onIt, 200);
                s.press();
            },
            { None, Unaimed }, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene scene;
        if (row.onTheEdge) {
            scene.aim.standOnTheEdge();
        }
        row.play(scene);
        EXPECT_EQ(scene.presses, row.presses);
    }
}
