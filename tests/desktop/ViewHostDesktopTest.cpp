// A panel window on the test desktop and the frames it hands to the display: when each counts as on the screen.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

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

/// An opaque view whose first frame shows a control ready for the first time.
class FirstFrameReady final : public notch::View {
public:
    explicit FirstFrameReady(const notch::ViewEnvironment& environment) : m_environment(environment) { }
    QSizeF idealSize() const override { return { 60, 40 }; }
    void paint(QPainter& painter, const QRectF& frame, qint64) override
    {
        painter.fillRect(frame, QColor(drawn));
        if (!std::exchange(m_marked, true)) {
            m_environment.newlyReadyAt = QPointF(10, 10);
        }
    }

private:
    const notch::ViewEnvironment& m_environment;
    bool m_marked = false;
};

} // namespace

// The frame that first shows a control ready counts as on the screen once the screen shows it there (a compositing
// manager draws it in a frame of its own), at once where the screen cannot say, and where the screen never shows it,
// once the window has watched for it its time: the control then takes presses all the same.
TEST(ViewHostDesktopTest, AFrameThatShowsAControlReadyIsOnTheScreenOnceSeenThereOrWatchedForItsTime)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    const struct {
        const char* what;
        int looksUntilShown; // -1: never shown; 0: the screen cannot say
    } rows[] = { { "the screen cannot say", 0 }, { "shown on the third look", 3 }, { "never shown", -1 } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::FakeClock clock;
        notch::ViewHost host(clock);
        int looks = 0;
        host.setDisplay([] { return std::optional<quint32>(1); },
            [&](QPoint) -> std::optional<QRgb> {
                ++looks;
                if (row.looksUntilShown == 0) {
                    return std::nullopt;
                }
                return row.looksUntilShown > 0 && looks >= row.looksUntilShown ? drawn : qRgb(0, 0, 0);
            });
        host.setRoot(std::make_unique<FirstFrameReady>(host.environment()));
        host.setGeometry(100, 100, 60, 40);
        host.show();
        ASSERT_TRUE(waitUntil([&] { return host.frames().drawn() >= 1 && looks >= 1; }));
        if (row.looksUntilShown < 0) {
            ASSERT_TRUE(waitUntil([&] { return looks >= 3; }));
            EXPECT_FALSE(host.frames().shownAtMs(1)) << "counted before the screen showed it";
            clock.advance(notch::ViewHost::longestWatchMs);
        }
        EXPECT_TRUE(waitUntil([&] { return host.frames().shownAtMs(1).has_value(); }));
        EXPECT_EQ(host.frames().shownAtMs(1), clock.monotonicMs());
    }
}
