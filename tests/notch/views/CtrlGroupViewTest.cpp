#include "main/notch/views/CtrlGroupView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using namespace murmeli::notch;

namespace {

struct Rig {
    test::FakeClock clock;
    ViewEnvironment environment { &clock, [] { return false; }, {} };
    int mutes = 0;
    int settings = 0;
    int quits = 0;
    std::unique_ptr<CtrlGroupView> group;
    QImage image { 100, 30, QImage::Format_ARGB32_Premultiplied };

    /// arrived: the pointer has come onto the pill from the panel's list below it, as a person moves to a button.
    explicit Rig(bool muted, bool arrived = true)
    {
        group = std::make_unique<CtrlGroupView>(
            environment, muted, [this] { ++mutes; }, [this] { ++settings; });
        group->onQuit = [this] { ++quits; };
        draw();
        if (arrived) {
            group->pointer(PointerPhase::Move, QPointF(50, 29));
            group->pointer(PointerPhase::Move, QPointF(50, 15));
        }
    }

    void draw()
    {
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        group->paint(painter, QRectF(0, 0, 100, 30), clock.monotonicMs());
    }

    /// The centre of button index in the image: the pill is 80 × 26 in the middle of 100 × 30.
    static QPointF centre(int index) { return { 10 + 2 + 12 + index * 26.0, 15 }; }

    void click(int index)
    {
        group->pointer(PointerPhase::Down, centre(index));
        group->pointer(PointerPhase::Up, centre(index));
    }
};

bool near(const QColor& a, const QColor& b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(CtrlGroupViewTest, TheMuteButtonShowsTheSettingAndEachButtonRunsItsAction)
{
    Rig on(false);
    EXPECT_EQ(on.group->toggle(0).symbol(), ui::Symbol::SpeakerWave2Fill);
    EXPECT_TRUE(on.group->toggle(0).isActive());
    EXPECT_FALSE(on.group->toggle(1).isActive());
    EXPECT_FALSE(on.group->toggle(2).isActive());
    // At the button's rim: brass at 14 % over the pill's white at 4 % over black.
    const QColor capsule = on.image.pixelColor(QPoint(14, 15));
    EXPECT_TRUE(near(capsule, QColor(40, 34, 22), 12)) << capsule.name().toStdString();

    on.click(0);
    on.click(1);
    on.click(2);
    EXPECT_EQ(on.mutes, 1);
    EXPECT_EQ(on.settings, 1);
    EXPECT_EQ(on.quits, 1);

    // After the owner flips the setting: a red slashed speaker at 75 % and no capsule.
    on.group->update(
        true, [] {}, [] {});
    on.draw();
    EXPECT_EQ(on.group->toggle(0).symbol(), ui::Symbol::SpeakerSlashFill);
    EXPECT_FALSE(on.group->toggle(0).isActive());
    EXPECT_TRUE(near(on.image.pixelColor(QPoint(14, 15)), QColor(10, 10, 10), 6));
}

TEST(CtrlGroupViewTest, HoldingAButtonShrinksItWhereverThePointerGoesAndAReleaseOutsideDoesNothing)
{
    Rig rig(false);
    const CtrlToggle& gear = rig.group->toggle(1);
    rig.group->pointer(PointerPhase::Down, Rig::centre(1));
    EXPECT_TRUE(gear.isPressed());
    rig.clock.advance(120);
    EXPECT_NEAR(gear.scaleAt(rig.clock.monotonicMs()), 0.95, 1e-9);
    rig.group->pointer(PointerPhase::Move, QPointF(500, 500));
    EXPECT_TRUE(gear.isPressed());
    rig.group->pointer(PointerPhase::Up, QPointF(500, 500));
    EXPECT_FALSE(gear.isPressed());
    EXPECT_EQ(rig.settings, 0);
    EXPECT_TRUE(rig.group->isAnimating(rig.clock.monotonicMs()));
    rig.clock.advance(120);
    EXPECT_NEAR(gear.scaleAt(rig.clock.monotonicMs()), 1.0, 1e-9);
    EXPECT_FALSE(rig.group->isAnimating(rig.clock.monotonicMs()));
}

// The panel opens under a pointer that rests on the strip, and the pill then lies under it: neither the click that
// opened the panel nor a later one with the pointer still where it rested (a hand's tremble aside) reaches a button.
TEST(CtrlGroupViewTest, NoButtonActsBeforeThePointerHasMovedOntoIt)
{
    Rig rig(false, false);
    for (int index : { 2, 0, 1 }) {
        const QPointF rest = Rig::centre(index);
        Rig fresh(false, false);
        fresh.group->pointer(PointerPhase::Move, rest);
        // Taken, so that the strip does not close the panel for it either.
        EXPECT_TRUE(fresh.group->pointer(PointerPhase::Down, rest)) << index;
        EXPECT_FALSE(fresh.group->toggle(index).isPressed()) << index;
        fresh.group->pointer(PointerPhase::Up, rest);
        fresh.group->pointer(PointerPhase::Move, rest + QPointF(2, 1));
        fresh.click(index);
        EXPECT_EQ(fresh.quits + fresh.mutes + fresh.settings, 0) << index;
        EXPECT_FALSE(fresh.group->isArmed()) << index;

        // Away from the resting point and back: now the button is the user's aim.
        fresh.group->pointer(PointerPhase::Move, rest + QPointF(0, CtrlGroupView::armDistance + 1));
        fresh.group->pointer(PointerPhase::Move, rest);
        fresh.click(index);
        EXPECT_EQ(fresh.quits + fresh.mutes + fresh.settings, 1) << index;
    }
    // A pointer that opened the panel elsewhere and went straight to a button: that button is the user's aim.
    Rig straight(false, false);
    straight.group->setOpenedAt(Rig::centre(1) + QPointF(0, 20));
    straight.click(2);
    EXPECT_EQ(straight.quits, 1);
    // A press beside the buttons is left to the strip.
    EXPECT_FALSE(rig.group->pointer(PointerPhase::Down, QPointF(2, 2)));
}
