#include "main/notch/views/SessionListRow.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "main/notch/kit/Standing.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/views/ApprovalCard.h"
#include "main/notch/views/SessionJumpButton.h"
#include "main/notch/views/SessionListSurfaceView.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::SessionListRow;
using notch::SessionState;

namespace {

const QDateTime reference = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

notch::SessionRow rowIn(SessionState state, qint64 secondsAgo = 600)
{
    notch::SessionRow row;
    row.sid = QStringLiteral("ab12cd34");
    row.projectName = QStringLiteral("murmeli");
    row.state = std::move(state);
    row.updatedAt = reference.addSecs(-secondsAgo);
    return row;
}

void click(notch::View& view, QPointF at)
{
    view.pointer(notch::PointerPhase::Down, at);
    view.pointer(notch::PointerPhase::Up, at);
}

} // namespace

TEST(SessionListRowTest, LayersByStateAndChoice)
{
    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    using Status = notch::ActiveTaskInfo::Status;
    const struct {
        const char* what;
        notch::SessionRow row;
        bool manual;
        bool chevron;
        QString context;
        QStringList spotlight;
        int subagents;
        int tasks;
        bool card;
    } cases[] = {
        { "idle, ten minutes old",
            [] {
                auto r = rowIn(SessionState::idle());
                r.spotlightPromptLineText = "fix it";
                r.sessionCtxPercent = 42;
                r.sessionModelName = "m1";
                return r;
            }(),
            false, true, "ctx 42% \u00B7 m1", {}, 0, 0, false },
        { "idle, expanded by hand",
            [] {
                auto r = rowIn(SessionState::idle());
                r.spotlightPromptLineText = "fix it";
                r.spotlightAnswerLineText = QString();
                r.activity = "Reading main.cpp";
                r.subagents = { { "a1", "Explore", "look around", std::nullopt, "found it" },
                    { "a2", std::nullopt, std::nullopt, std::nullopt, std::nullopt } };
                r.activeTasks = { { "1", "one", Status::Pending }, { "2", "two", Status::InProgress },
                    { "3", "three", Status::Completed } };
                return r;
            }(),
            true, false, "", { "> fix it", "\u2190 ", "Reading main.cpp" }, 2, 3, false },
        { "working for 299 s", rowIn(SessionState::working(), 299), false, false, "", {}, 0, 0, false },
        { "working for 300 s", rowIn(SessionState::working(), 300), false, false, "ctx \u2014 \u00B7 \u2014", {}, 0, 0,
            false },
        { "an error", rowIn(SessionState::error("boom")), false, false, "", { "> boom" }, 0, 0, false },
        { "a permission request",
            [] {
                auto r = rowIn(SessionState::needsApproval());
                r.currentToolName = "Bash";
                r.approval = notch::PendingApproval { "tu-1", "Bash", "ls", "$ ls", 0 };
                return r;
            }(),
            false, false, "", {}, 0, 0, true },
        { "a permission notice with no request held",
            [] {
                auto r = rowIn(SessionState::needsApproval());
                r.currentToolName = "Bash";
                return r;
            }(),
            false, false, "", {}, 0, 0, false },
        { "a permission request without a tool", rowIn(SessionState::needsApproval()), false, false, "", {}, 0, 0,
            false },
        { "waiting for an answer", rowIn(SessionState::waitingForAnswer()), false, false, "", {}, 0, 0, false },
        { "only an activity, collapsed",
            [] {
                auto r = rowIn(SessionState::idle());
                r.activity = "Reading";
                return r;
            }(),
            false, false, "ctx \u2014 \u00B7 \u2014", {}, 0, 0, false },
    };
    for (const auto& c : cases) {
        SessionListRow row(environment);
        const bool manual = c.manual;
        row.update(c.row, reference, { {}, {}, {}, [manual] { return manual; }, {} });
        const SessionListRow::Layers layers = row.layers();
        EXPECT_EQ(layers.chevron, c.chevron) << c.what;
        EXPECT_EQ(layers.contextSummary, c.context) << c.what;
        EXPECT_EQ(layers.spotlight, c.spotlight) << c.what;
        EXPECT_EQ(layers.subagents.size(), c.subagents) << c.what;
        EXPECT_EQ(layers.tasks.size(), c.tasks) << c.what;
        EXPECT_EQ(layers.approvalCard, c.card) << c.what;
    }
    EXPECT_EQ(SessionListRow::taskHeader({ { "1", "one", Status::Pending }, { "2", "two", Status::InProgress },
                  { "3", "three", Status::Completed } }),
        QStringLiteral("Tasks: 1 in_progress, 1 done, 1 pending"));
    auto nameless = rowIn(SessionState::idle());
    nameless.projectName.clear();
    EXPECT_EQ(SessionListRow::title(nameless), QStringLiteral("ab12cd34"));
}

TEST(SessionListRowTest, ApprovalCardTexts)
{
    EXPECT_EQ(notch::ApprovalCard::commandText("ls -la", "Running"), QStringLiteral("$ ls -la"));
    EXPECT_EQ(notch::ApprovalCard::commandText("", "Running"), QStringLiteral("$ Running"));
    EXPECT_EQ(notch::ApprovalCard::commandText("", ""), QStringLiteral("$ (awaiting tool details)"));
    EXPECT_EQ(notch::ApprovalCard::buttons("Bash")[2].title, QStringLiteral("Always Allow (Bash)"));
    EXPECT_EQ(notch::SessionJumpButton::label(" \txterm \t"), QStringLiteral("\u2192 xterm"));
    EXPECT_EQ(notch::SessionJumpButton::label(" \t "), QStringLiteral("\u2192 Open"));
}

// Every row with a held request shows its buttons; each click answers with that row's own session and the request
// its card shows, and a click on the header toggles the row instead.
TEST(SessionListRowTest, ClicksOnTheListReachTheViewModelWithTheRowsSession)
{
    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    notch::PanelViewModel vm(clock);
    QList<std::pair<QString, notch::NotchApprovalAction>> answers;
    QStringList jumps;
    vm.onApprove = [&](const QString& sid, const QString& toolUseId, notch::NotchApprovalAction action) {
        answers.append({ sid + '/' + toolUseId, action });
    };
    vm.onSessionSelect = [&](const QString& sid) { jumps << sid; };
    QList<notch::SessionRow> rows;
    for (const QString& sid : { QStringLiteral("first111"), QStringLiteral("second22") }) {
        notch::SessionRow row = rowIn(SessionState::needsApproval(), 5);
        row.sid = sid;
        row.currentToolName = QStringLiteral("Bash");
        row.currentCommandPreview = QStringLiteral("ls -la");
        row.approval = notch::PendingApproval { "tu-" + sid, "Bash", "ls -la", "$ ls -la", 0 };
        rows.append(row);
    }
    rows.append(rowIn(SessionState::idle()));
    vm.setSessions(rows);
    notch::SessionListSurfaceView list(environment, vm);
    QImage image(420, 900, QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] {
        QPainter painter(&image);
        list.paint(painter, QRectF(0, 0, 420, 900), clock.monotonicMs());
    };
    paint();
    clock.advance(notch::Standing::decisionMs);
    paint();

    const auto cardOf = [&](const QString& sid) { return list.row(sid)->approvalCard(); };
    ASSERT_NE(cardOf("first111"), nullptr);
    ASSERT_NE(cardOf("second22"), nullptr);
    click(list, cardOf("second22")->buttonFrames()[1].center());
    click(list, cardOf("first111")->buttonFrames()[0].center());
    click(list, cardOf("first111")->buttonFrames()[2].center());
    using notch::NotchApprovalAction;
    EXPECT_EQ(answers,
        (QList<std::pair<QString, NotchApprovalAction>> { { "second22/tu-second22", NotchApprovalAction::AllowOnce },
            { "first111/tu-first111", NotchApprovalAction::Deny },
            { "first111/tu-first111", NotchApprovalAction::AllowAlways } }));

    const QPointF jump = list.row("ab12cd34")->jumpButton().frame().center();
    EXPECT_EQ(list.toolTipAt(jump), notch::SessionJumpButton::toolTip());
    click(list, jump);
    EXPECT_EQ(jumps, QStringList { "ab12cd34" });
    EXPECT_TRUE(vm.expandedRowIDs().isEmpty());
    click(list, list.row("ab12cd34")->tapFrame().topLeft() + QPointF(30, 12));
    EXPECT_EQ(vm.expandedRowIDs(), QSet<QString> { "ab12cd34" });
    list.refresh();
    paint();
    click(list, list.row("ab12cd34")->tapFrame().topLeft() + QPointF(30, 12));
    EXPECT_TRUE(vm.expandedRowIDs().isEmpty());
    EXPECT_EQ(jumps.size(), 1);
}

TEST(SessionListRowTest, TheListScrollsBeyondWhatTheScreenLeaves)
{
    EXPECT_EQ(notch::SessionListSurfaceView::scrollViewHeight(20, std::nullopt), 36);
    EXPECT_EQ(notch::SessionListSurfaceView::scrollViewHeight(1500, std::nullopt), 1000);
    EXPECT_EQ(notch::SessionListSurfaceView::scrollViewHeight(1500, 600.0), 600);

    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    notch::PanelViewModel vm(clock);
    QList<notch::SessionRow> rows;
    for (int i = 0; i < 30; ++i) {
        notch::SessionRow row = rowIn(SessionState::idle());
        row.sid = QStringLiteral("s%1").arg(i);
        rows.append(row);
    }
    vm.setSessions(rows);
    notch::SessionListSurfaceView list(environment, vm, [] { return 400.0; });
    QImage image(420, 900, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    list.paint(painter, QRectF(0, 0, 420, 900), clock.monotonicMs());
    EXPECT_EQ(*list.measuredHeight(), 400);
    const QPointF inside = list.viewport().center();
    EXPECT_TRUE(list.wheel(inside, -5000));
    EXPECT_DOUBLE_EQ(list.scrollOffset(), list.listContentHeight() - list.viewport().height());
    list.paint(painter, QRectF(0, 0, 420, 900), clock.monotonicMs());
    EXPECT_TRUE(list.viewport().contains(list.rowFrame("s29").center()));
}

TEST(SessionListRowTest, AClickOpensAndClosesTheRowOverItsToggleTimeAndAStateChangeAtOnce)
{
    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    notch::PanelViewModel vm(clock);
    notch::SessionRow row = rowIn(SessionState::idle());
    row.activity = QStringLiteral("Read main.cpp");
    row.activeTasks = { { "1", "write the tests", notch::ActiveTaskInfo::Status::InProgress },
        { "2", "run them", notch::ActiveTaskInfo::Status::Pending } };
    vm.setSessions({ row });
    notch::SessionListSurfaceView list(environment, vm);
    QImage image(420, 600, QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        list.paint(painter, QRectF(0, 0, 420, 600), clock.monotonicMs());
    };
    const auto height = [&] {
        list.refresh();
        paint();
        return list.listContentHeight();
    };
    const qreal closed = height();
    const qint64 toggleMs = static_cast<qint64>(SessionListRow::toggleSeconds * 1000);

    click(list, list.row(row.sid)->tapFrame().topLeft() + QPointF(30, 12));
    EXPECT_EQ(height(), closed) << "the row starts from where it was";
    EXPECT_TRUE(list.isAnimating(clock.monotonicMs()));
    clock.advance(toggleMs / 2);
    const qreal halfway = height();
    clock.advance(toggleMs / 2);
    const qreal open = height();
    EXPECT_GT(halfway, closed);
    EXPECT_LT(halfway, open);
    EXPECT_GT(open, closed + 40) << "the activity line and two tasks";
    EXPECT_FALSE(list.isAnimating(clock.monotonicMs()));

    click(list, list.row(row.sid)->tapFrame().topLeft() + QPointF(30, 12));
    EXPECT_EQ(height(), open);
    clock.advance(toggleMs / 2);
    EXPECT_LT(height(), open);
    clock.advance(toggleMs / 2);
    EXPECT_EQ(height(), closed);

    // A session that comes to need the user opens at once: only a click animates.
    row.state = SessionState::error(QStringLiteral("boom"));
    vm.setSessions({ row });
    EXPECT_GT(height(), closed + 40);
    EXPECT_FALSE(list.isAnimating(clock.monotonicMs()));
}
