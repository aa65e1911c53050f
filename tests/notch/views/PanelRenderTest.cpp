// The whole panel drawn offscreen in its window through the controller, as the desktop would show it: the closed
// strip, the tape while recording, the expanded list with an approval card. Judged by where the box lies and what
// it holds; the pictures are saved beside the build for a person to look at.

#include <gtest/gtest.h>

#include <QPaintEngine>
#include <QPainter>

#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/Marquee.h"
#include "main/notch/views/NotchASRTape.h"
#include "main/notch/views/NotchView.h"
#include "main/notch/views/SessionListRow.h"
#include "main/notch/views/SessionListSurfaceView.h"
#include "main/notch/views/TopStripView.h"
#include "main/ui/design/TextBound.h"
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

namespace {

/// A paint device that keeps only the length of the longest text it was asked to draw.
class TextLengths final : public QPaintDevice, public QPaintEngine {
public:
    TextLengths() : QPaintEngine(QPaintEngine::AllFeatures) { }

    QPaintEngine* paintEngine() const override { return const_cast<TextLengths*>(this); }
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return 560;
        case PdmHeight:
            return 1080;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return 1;
        }
    }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawTextItem(const QPointF&, const QTextItem& item) override
    {
        longest = std::max(longest, item.text().size());
        ++texts;
    }
    Type type() const override { return QPaintEngine::User; }

    qsizetype longest = 0;
    int texts = 0;
};

/// The longest text the settled panel draws (the strip's marquee draws into a layer of its own and is not seen).
qsizetype longestTextDrawn(test::PanelRig& rig)
{
    rig.render();
    rig.clock.advance(1000);
    rig.render();
    TextLengths device;
    QPainter painter(&device);
    rig.panel->window()->paintFrame(painter, rig.clock.monotonicMs());
    EXPECT_GT(device.texts, 3);
    return device.longest;
}

} // namespace

TEST(PanelRenderTest, HugeOutsideTextsAreLaidOutOnlyAsFarAsALineShows)
{
    test::PanelRig rig;
    rig.panel->show();
    const QString huge = QStringLiteral("murmeli-").repeated(50'000);
    notch::SessionRow row = test::PanelRig::row("ab12cd34", SessionState::needsApproval(), rig.clock.now());
    row.projectName = huge;
    row.activity = huge;
    row.spotlightPromptLineText = huge;
    row.spotlightAnswerLineText = huge;
    row.sessionAgentName = huge;
    row.toolDisplayName = huge;
    row.terminalBadge = huge;
    rig.vm->setSessions({ row });
    rig.vm->setSessionTotal(1);

    // Closed, an approval runs across the strip with the project's name in front; its label is one line.
    rig.vm->setPendingApprovalMessage(huge);
    rig.vm->setCurrentSurface(notch::IslandSurface::approvalCard(row.sid, QStringLiteral("tu-1")));
    rig.render();
    const notch::Marquee* marquee = rig.panel->rootView()->strip().marquee();
    ASSERT_NE(marquee, nullptr);
    // A few thousand points at most: the label's 512 characters, not the 400 000 given.
    EXPECT_GT(marquee->contentWidth(), 500);
    EXPECT_LT(marquee->contentWidth(), 10'000);

    rig.panel->expansionState().setExpanded(true);
    EXPECT_LE(longestTextDrawn(rig), ui::maxLineCharacters);
    const notch::SessionListRow* shown = rig.panel->rootView()->contentArea()->sessionList()->row(row.sid);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->layers().spotlight.first().startsWith(QStringLiteral("> murmeli-murmeli-")));
}
