// The whole panel drawn offscreen in its window through the controller, as the desktop would show it: the closed
// strip, the tape while recording, the expanded list with an approval card. Judged by where the box lies and what
// it holds; the pictures are saved beside the build for a person to look at.

#include <gtest/gtest.h>

#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/NotchASRTape.h"
#include "main/notch/views/NotchView.h"
#include "main/notch/views/SessionListRow.h"
#include "main/notch/views/SessionListSurfaceView.h"
#include "main/ui/design/Tokens.h"
#include "tests/notch/PanelRig.h"
#include "tests/notch/Probes.h"

using namespace murmeli;
using notch::SessionState;

namespace {

QImage settle(test::PanelRig& rig, const char* name)
{
    rig.render();
    rig.clock.advance(1000);
    const QImage image = rig.render();
    // Only the top of the window holds anything; the rest stays transparent.
    image.copy(0, 0, image.width(), 480)
        .save(QStringLiteral(MURMELI_BUILD_DIR "/notch-panel-%1.png").arg(QLatin1String(name)));
    return image;
}

} // namespace

TEST(PanelRenderTest, ClosedTapeAndExpandedWithAnApprovalCard)
{
    test::PanelRig rig;
    rig.panel->show();
    notch::NotchView& root = *rig.panel->rootView();

    QImage closed = settle(rig, "closed");
    EXPECT_EQ(root.boxFrame(), QRectF(180, 0, 200, 32));
    EXPECT_GT(test::brightest(closed, QRectF(180, 0, 200, 32)), 40);
    EXPECT_EQ(test::brightest(closed, QRectF(0, 40, 560, 200)), 0);

    rig.vm->setPttActive(true);
    rig.vm->setAsrPartialText(
        QStringLiteral("schreib bitte einen Test f\u00FCr die Tape-Ansicht \u4F60\u597D \U0001F44D"));
    QImage tape = settle(rig, "tape");
    EXPECT_EQ(root.boxFrame(), QRectF(0, 0, 560, 32 + 48));
    ASSERT_NE(root.tape(), nullptr);
    EXPECT_GT(test::pixelsOf(tape, root.tapeFrame(), ui::Color::vantorText), 50);

    rig.vm->setPttActive(false);
    rig.vm->setAsrPartialText({});
    const QDateTime now = rig.clock.now();
    notch::SessionRow waiting = test::PanelRig::row("ab12cd34", SessionState::needsApproval(), now);
    waiting.currentToolName = QStringLiteral("Bash");
    waiting.currentCommandPreview = QStringLiteral("rm -rf build && cmake -S . -B build && cmake --build build");
    waiting.approval = notch::PendingApproval { QStringLiteral("tu-1"), waiting.currentToolName,
        waiting.currentCommandPreview, QStringLiteral("$ ") + waiting.currentCommandPreview, 0 };
    waiting.terminalBadge = QStringLiteral("xterm");
    waiting.spotlightPromptLineText = QStringLiteral("RUNBASH: rm -rf build");
    notch::SessionRow idle = test::PanelRig::row("ef56ab78", SessionState::idle(), now.addSecs(-600));
    idle.sessionCtxPercent = 42;
    idle.sessionModelName = QStringLiteral("m1");
    rig.vm->setSessions({ waiting, idle });
    rig.vm->setSessionTotal(2);
    rig.panel->expansionState().setExpanded(true);
    settle(rig, "expanded");
    // The measured list has sized the panel: the box reaches the list's end and the hit area follows it.
    QImage expanded = settle(rig, "expanded-approval");
    const QRectF box = root.boxFrame();
    EXPECT_EQ(box.width(), 420);
    EXPECT_DOUBLE_EQ(box.height(), 32 + rig.vm->measuredOpenedContentHeight());
    EXPECT_EQ(rig.panel->visibleContentRect(), box);
    notch::SessionListSurfaceView* list = root.contentArea()->sessionList();
    ASSERT_NE(list, nullptr);
    const notch::SessionListRow* row = list->row("ab12cd34");
    ASSERT_NE(row, nullptr);
    ASSERT_TRUE(row->layers().approvalCard);
    EXPECT_TRUE(box.contains(list->rowFrame("ef56ab78")));
    EXPECT_GT(test::pixelsOf(expanded, list->rowFrame("ab12cd34"), QColor(255, 159, 10)), 100);
}
