#include "main/notch/views/CtrlGroupView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLineF>
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

    /// arrived: the pointer has come onto the pill from the panel's list below it, as a person moves to a button, and
    /// rests on the middle one.
    explicit Rig(bool muted, bool arrived = true)
    {
        group = std::make_unique<CtrlGroupView>(
            environment, muted, [this] { ++mutes; }, [this] { ++settings; });
        group->onQuit = [this] { ++quits; };
        draw();
        if (arrived) {
            aimAt(1);
        }
    }

    /// The pointer comes up onto button index from below the pill.
    void aimAt(int index)
    {
        group->pointer(PointerPhase::Move, centre(index) + QPointF(0, 14));
        group->pointer(PointerPhase::Move, centre(index));
        draw();
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

    void press(int index)
    {
        group->pointer(PointerPhase::Down, centre(index));
        group->pointer(PointerPhase::Up, centre(index));
    }

    void click(int index)
    {
        aimAt(index);
        press(index);
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

// The panel opens under the pointer, and the pill then lies under it or on its way: a button takes a press only when
// the pointer came onto it in a motion begun once the opening panel had come to rest; then it takes it at once.
TEST(CtrlGroupViewTest, NoButtonActsBeforeThePointerHasMovedOntoIt)
{
    for (int index : { 2, 0, 1 }) {
        Rig rig(false, false);
        rig.group->setSettlesAt(rig.clock.monotonicMs() + 640);
        // Up from below the pill onto the button while the panel springs open, and a click once it rests.
        rig.group->pointer(PointerPhase::Move, Rig::centre(index) + QPointF(0, 14));
        rig.clock.advance(24);
        rig.group->pointer(PointerPhase::Move, Rig::centre(index));
        rig.clock.advance(700);
        rig.draw();
        EXPECT_FALSE(rig.group->toggle(index).isHovered()) << index;
        // Taken, so that the strip does not close the panel for it either.
        EXPECT_TRUE(rig.group->pointer(PointerPhase::Down, Rig::centre(index))) << index;
        EXPECT_FALSE(rig.group->toggle(index).isPressed()) << index;
        rig.group->pointer(PointerPhase::Up, Rig::centre(index));
        EXPECT_EQ(rig.quits + rig.mutes + rig.settings, 0) << index;

        // Off the button and back: the user's aim, shown by the hover, and taken at once.
        rig.group->pointer(PointerPhase::Move, Rig::centre(index) + QPointF(0, 14));
        rig.group->pointer(PointerPhase::Move, Rig::centre(index));
        rig.draw();
        EXPECT_TRUE(rig.group->toggle(index).isHovered()) << index;
        rig.press(index);
        EXPECT_EQ(rig.quits + rig.mutes + rig.settings, 1) << index;
        EXPECT_EQ(rig.group->armedToggle(), index);

        // Opened again: the pointer has not come onto it since.
        rig.group->setSettlesAt(rig.clock.monotonicMs());
        rig.press(index);
        EXPECT_EQ(rig.quits + rig.mutes + rig.settings, 1) << index;
    }
    // A press beside the buttons is left to the strip.
    Rig rig(false);
    EXPECT_FALSE(rig.group->pointer(PointerPhase::Down, QPointF(2, 2)));
}

// A panel that stays open for a waiting request while the pointer is away: a hand coming back from outside, sliding
// along the top edge or up onto the pill, meets a button it has not aimed at, however it clicks once it stops.
TEST(CtrlGroupViewTest, AHandComingBackIntoAPanelThatStayedOpenMustAimAfresh)
{
    struct Row {
        const char* name;
        QPointF from;
        qint64 msPerStep;
        std::vector<qint64> pressesAfterStop;
    };
    const std::vector<Row> rows {
        { "along the edge from the right, a double click at 120 ms", { 98, 3 }, 10, { 120, 150 } },
        { "along the edge from the left, a click at 400 ms", { 1, 3 }, 30, { 400 } },
        { "up from below, a click at once and one at 300 ms", { 0, 29 }, 10, { 0, 300 } },
    };
    for (const Row& row : rows) {
        for (int index : { 0, 1, 2 }) {
            SCOPED_TRACE(std::string(row.name) + ", button " + std::to_string(index));
            Rig rig(false);
            rig.clock.advance(5000);
            rig.group->pointerLeft();
            rig.clock.advance(3000);
            // Back in 3 px steps onto the button; it was drawn all along.
            const QPointF to = Rig::centre(index);
            const QPointF step = (to - row.from) / std::max(1.0, QLineF(row.from, to).length() / 3);
            for (QPointF at = row.from; QLineF(at, to).length() > 3; at += step) {
                rig.group->pointer(PointerPhase::Move, at);
                rig.clock.advance(row.msPerStep);
                rig.draw();
            }
            rig.group->pointer(PointerPhase::Move, to);
            rig.draw();
            qint64 waited = 0;
            for (const qint64 at : row.pressesAfterStop) {
                rig.clock.advance(at - waited);
                waited = at;
                rig.draw();
                rig.press(index);
            }
            EXPECT_EQ(rig.quits + rig.mutes + rig.settings, 0);
            EXPECT_FALSE(rig.group->toggle(index).isHovered());

            // At rest a moment, then off the button and back while its hover shows: aimed, and taken.
            rig.clock.advance(Hand::restMs);
            rig.click(index);
            EXPECT_EQ(rig.quits + rig.mutes + rig.settings, 1);
        }
    }
}

// A button held down while what it stands for changes under it: the announcements were muted elsewhere meanwhile, or
// the panel closed and opened again. The release does nothing; a button whose meaning stayed acts as usual.
TEST(CtrlGroupViewTest, AReleaseActsOnlyForWhatTheButtonMeantWhenItWentDown)
{
    const auto mutedElsewhere = [](Rig& rig) {
        rig.group->update(
            true, [&rig] { ++rig.mutes; }, [&rig] { ++rig.settings; });
    };
    const auto openedAgain = [](Rig& rig) { rig.group->setSettlesAt(rig.clock.monotonicMs()); };
    const struct {
        const char* what;
        int index;
        std::function<void(Rig&)> change;
        int acted;
    } rows[] = {
        { "mute held, muted elsewhere", 0, mutedElsewhere, 0 },
        { "settings held, muted elsewhere", 1, mutedElsewhere, 1 },
        { "mute held, the panel opened again", 0, openedAgain, 0 },
        { "settings held, the panel opened again", 1, openedAgain, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig(false);
        rig.clock.advance(Hand::restMs);
        rig.aimAt(row.index);
        rig.group->pointer(PointerPhase::Down, Rig::centre(row.index));
        row.change(rig);
        rig.clock.advance(200);
        rig.draw();
        rig.group->pointer(PointerPhase::Up, Rig::centre(row.index));
        EXPECT_EQ(rig.mutes + rig.settings, row.acted);
        EXPECT_FALSE(rig.group->toggle(row.index).isPressed());
    }
}
