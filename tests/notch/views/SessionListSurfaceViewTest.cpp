#include "main/notch/views/SessionListSurfaceView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "main/notch/model/PanelViewModel.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;

namespace {

// Thirty sessions, more than the 400 points the list is given; those named hold a request each.
QList<notch::SessionRow> sessionsWithRequestsAt(const QStringList& holding)
{
    QList<notch::SessionRow> rows;
    for (int i = 0; i < 30; ++i) {
        notch::SessionRow row;
        row.sid = QStringLiteral("s%1").arg(i, 2, 10, QLatin1Char('0'));
        row.projectName = QStringLiteral("project %1").arg(i);
        row.updatedAt = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        row.state = notch::SessionState::idle();
        if (holding.contains(row.sid)) {
            row.state = notch::SessionState::needsApproval();
            row.currentToolName = QStringLiteral("Bash");
            row.currentCommandPreview = QStringLiteral("make install");
            row.approval = notch::PendingApproval { "tu-" + row.sid, "Bash", "make install", "$ make install", 0 };
        }
        rows.append(row);
    }
    return rows;
}

} // namespace

// The list keeps the controller's order and scrolls the least that shows the whole row of the request on show, its
// card at the row's foot: from above the row comes in at the view's foot, from below at its head, and a row already
// in view stays where it is. Once the wheel has scrolled the list by hand, the list stays where the hand left it.
TEST(SessionListSurfaceViewTest, TheRowOfTheRequestOnShowIsScrolledIntoViewUntilTheWheelMovesTheList)
{
    const struct {
        const char* what;
        qreal wheelBefore; // scrolled by hand before the request shows: negative scrolls down
        QString onShow;
        qreal wheelAfter; // scrolled by hand once it shows
        const char* edge; // where the row's frame lies: "foot" or "head" of the view, "kept" where it was
    } cases[] = {
        { "below the view", 0, QStringLiteral("s25"), 0, "foot" },
        { "above the view", -5000, QStringLiteral("s05"), 0, "head" },
        { "already in view", 0, QStringLiteral("s01"), 0, "kept" },
        { "scrolled away by hand", 0, QStringLiteral("s25"), 120, "kept" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeClock clock;
        notch::ViewEnvironment environment { &clock, {}, {} };
        notch::PanelViewModel vm(clock);
        vm.setSessions(sessionsWithRequestsAt({ QStringLiteral("s05"), QStringLiteral("s25"), QStringLiteral("s01") }));
        notch::SessionListSurfaceView list(environment, vm, [] { return 400.0; });
        QImage image(420, 900, QImage::Format_ARGB32_Premultiplied);
        const auto paint = [&] {
            QPainter painter(&image);
            list.paint(painter, QRectF(0, 0, 420, 900), clock.monotonicMs());
            clock.advance(1000);
            list.paint(painter, QRectF(0, 0, 420, 900), clock.monotonicMs());
        };
        list.refresh();
        paint();
        ASSERT_GT(list.listContentHeight(), list.viewport().height());
        if (c.wheelBefore != 0) {
            ASSERT_TRUE(list.wheel(list.viewport().center(), c.wheelBefore));
            paint();
        }

        vm.setCurrentSurface(notch::IslandSurface::approvalCard(c.onShow, "tu-" + c.onShow));
        list.refresh();
        paint();
        const qreal before = list.scrollOffset();
        if (c.wheelAfter != 0) {
            ASSERT_TRUE(list.wheel(list.viewport().center(), c.wheelAfter));
            paint();
        }
        const qreal byHand = list.scrollOffset();
        // A later look at the view model, as every change of a row brings, does not pull the list back.
        list.refresh();
        paint();

        const QRectF row = list.rowFrame(c.onShow);
        const QRectF view = list.viewport();
        const QString where = QStringLiteral("row %1..%2, view %3..%4, scrolled %5")
                                  .arg(row.top())
                                  .arg(row.bottom())
                                  .arg(view.top())
                                  .arg(view.bottom())
                                  .arg(list.scrollOffset());
        if (c.wheelAfter != 0) {
            EXPECT_DOUBLE_EQ(byHand, before - c.wheelAfter) << "the list did not stay where the wheel took it";
            EXPECT_DOUBLE_EQ(list.scrollOffset(), byHand) << where.toStdString();
            continue;
        }
        EXPECT_GE(row.top(), view.top() - 0.5) << where.toStdString();
        EXPECT_LE(row.bottom(), view.bottom() + 0.5) << where.toStdString();
        if (QLatin1String(c.edge) == QLatin1String("foot")) {
            EXPECT_NEAR(row.bottom(), view.bottom(), 0.5) << where.toStdString();
        } else if (QLatin1String(c.edge) == QLatin1String("head")) {
            EXPECT_NEAR(row.top(), view.top(), 0.5) << where.toStdString();
        } else {
            EXPECT_DOUBLE_EQ(list.scrollOffset(), 0) << where.toStdString();
        }
    }
}
