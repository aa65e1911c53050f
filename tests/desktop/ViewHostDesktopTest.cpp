// A panel window on the test desktop and the frames it hands to the display: when each counts as on the screen.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <QBackingStore>
#include <QImage>
#include <QPainter>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewHost.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

const QRgb drawn = qRgb(200, 40, 40);

/// An opaque view whose first frame starts a control's count, and which lets the host mark each of its frames.
class FirstFrameAwaited final : public notch::View {
public:
    explicit FirstFrameAwaited(const notch::ViewEnvironment& environment) : m_environment(environment) { }
    QSizeF idealSize() const override { return { 60, 40 }; }
    void paint(QPainter& painter, const QRectF& frame, qint64) override
    {
        painter.fillRect(frame, QColor(drawn));
        m_environment.markSpot = notch::ViewEnvironment::MarkSpot { QPointF(10, 10), drawn };
        m_environment.awaitsScreen = m_environment.awaitsScreen || !std::exchange(m_marked, true);
    }

private:
    const notch::ViewEnvironment& m_environment;
    bool m_marked = false;
};

} // namespace

// The frame that starts a control's count is on the screen once the screen shows that very frame (a compositing
// manager draws it in a frame of its own, or not at all while it stalls): at the look that sees it, however late,
// and never while the screen shows another. Where the screen cannot be watched there (it cannot say, no compositing
// manager draws it, another window lies over the spot) it is there as soon as the display has it.
TEST(ViewHostDesktopTest, AFrameAwaitedIsOnTheScreenOnlyOnceTheScreenIsSeenToShowIt)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    const struct {
        const char* what;
        bool canSay;
        bool composited;
        bool covered;
        qint64 shownAfterMs; // -1: never
    } rows[] = {
        { "the screen cannot say", false, true, false, 0 },
        { "no compositing manager", true, false, false, 0 },
        { "another window over the spot", true, true, true, 0 },
        { "shown 0.7 s late", true, true, false, 700 },
        { "never shown", true, true, false, -1 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::FakeClock clock;
        notch::ViewHost host(clock);
        int looks = 0;
        bool onScreen = false;
        notch::ViewHost::Screen screen;
        // The screen shows what the window drew once the compositing manager draws it, and black till then.
        screen.grab = [&](QRect at) -> std::optional<QImage> {
            ++looks;
            if (!row.canSay) {
                return std::nullopt;
            }
            const auto* store = dynamic_cast<const QImage*>(host.backingStore()->paintDevice());
            if (!onScreen || !store) {
                QImage black(at.size(), QImage::Format_RGB32);
                black.fill(Qt::black);
                return black;
            }
            const QPoint origin = (QPointF(host.mapToGlobal(QPoint(0, 0))) * host.devicePixelRatioF()).toPoint();
            return store->copy(at.translated(-origin));
        };
        screen.composited = [&] { return row.composited; };
        screen.covered = [&](QRect) { return row.covered; };
        host.setDisplay([] { return std::optional<quint32>(1); }, screen);
        host.setRoot(std::make_unique<FirstFrameAwaited>(host.environment()));
        host.setGeometry(100, 100, 60, 40);
        host.show();
        ASSERT_TRUE(waitUntil([&] { return host.frames().drawn() >= 1; }));
        if (row.shownAfterMs != 0) {
            ASSERT_TRUE(waitUntil([&] { return looks >= 10; }));
            EXPECT_FALSE(host.frames().shownAtMs(1)) << "counted before the screen showed it";
            clock.advance(row.shownAfterMs < 0 ? 5000 : row.shownAfterMs);
            const int looked = looks;
            ASSERT_TRUE(waitUntil([&] { return looks >= looked + 10; })) << "the window gave up watching";
            onScreen = row.shownAfterMs > 0;
        }
        if (row.shownAfterMs < 0) {
            EXPECT_FALSE(host.frames().shownAtMs(1)) << "counted though the screen never showed it";
            continue;
        }
        EXPECT_TRUE(waitUntil([&] { return host.frames().shownAtMs(1).has_value(); }));
        EXPECT_EQ(host.frames().shownAtMs(1), row.shownAfterMs);
    }
}
