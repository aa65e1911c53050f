#include "platform/desktop/x11/X11SelectionReader.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include "platform/desktop/DesktopServicesFactory.h"
#include "tests/platform/desktop/x11/X11Session.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::runTool;

const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489");

bool xclipIn(const char* selection, const char* type, const QByteArray& data)
{
    return runTool(QStringLiteral("xclip"),
        { QStringLiteral("-i"), QStringLiteral("-selection"), QLatin1String(selection), QStringLiteral("-t"),
            QLatin1String(type) },
        data)
        .has_value();
}

class X11SelectionReaderTest : public test::X11Session {
protected:
    void TearDown() override
    {
        if (m_hog.state() != QProcess::NotRunning) {
            m_hog.kill();
            m_hog.waitForFinished(5000);
        }
    }

    // Starts a program that takes the selection and never answers for it.
    void hog(const char* selection)
    {
        m_hog.start(QStringLiteral(MURMELI_SELECTION_HOG), { QLatin1String(selection) });
        ASSERT_TRUE(m_hog.waitForStarted(5000));
        ASSERT_TRUE(test::waitUntil([&] { return m_hog.readAllStandardOutput().contains("owned"); }, 10000))
            << m_hog.readAllStandardError().constData();
    }

    QProcess m_hog;
};

TEST_F(X11SelectionReaderTest, ReadsWhatOtherProgramsOfferUnderQtsNames)
{
    const std::unique_ptr<X11SelectionReader> reader = X11SelectionReader::open();
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(xclipIn("clipboard", "image/png", png));
    ASSERT_TRUE(xclipIn("primary", "UTF8_STRING", QByteArray("grüße aus dem terminal")));
    // xclip serves from a process it leaves behind, a moment after the one we ran has ended.
    std::optional<ClipboardContent> clipboard, primary;
    ASSERT_TRUE(test::waitUntil([&] {
        clipboard = reader->read(ClipboardMode::Clipboard, ClipboardAccess::snapshotBudgetMs);
        primary = reader->read(ClipboardMode::Selection, ClipboardAccess::snapshotBudgetMs);
        return clipboard && primary && clipboard->items.size() == 1 && primary->items.size() == 1;
    }));
    EXPECT_TRUE(clipboard->complete);
    EXPECT_EQ(clipboard->items.front(), (ClipboardItem { QStringLiteral("image/png"), png }));
    EXPECT_EQ(primary->items.front(), (ClipboardItem { QStringLiteral("text/plain"), "grüße aus dem terminal" }));
}

// Qt's own read of the same owner waits five seconds for each type; the application's clipboard answers within its
// budget, and a snapshot of the other selection right after is not confused by the first one's missing answer.
TEST_F(X11SelectionReaderTest, AnOwnerThatNeverAnswersCostsTheBudgetAndNothingMore)
{
    const DesktopServices desktop = makeDesktopServices();
    ASSERT_TRUE(xclipIn("primary", "UTF8_STRING", QByteArray("highlighted")));
    hog("CLIPBOARD");

    QElapsedTimer spent;
    spent.start();
    const ClipboardContent stalled = desktop.clipboard->snapshot(ClipboardMode::Clipboard);
    const qint64 stalledMs = spent.elapsed();
    EXPECT_FALSE(stalled.complete);
    EXPECT_TRUE(stalled.items.isEmpty());
    EXPECT_LT(stalledMs, 1000) << "the snapshot waited on the owner";

    ClipboardContent primary;
    ASSERT_TRUE(test::waitUntil([&] {
        primary = desktop.clipboard->snapshot(ClipboardMode::Selection);
        return !primary.items.isEmpty();
    }));
    EXPECT_TRUE(primary.complete);
    EXPECT_EQ(primary.items, (QList { ClipboardItem { QStringLiteral("text/plain"), "highlighted" } }));

    // Our own text, once on the clipboard, is read from Qt's copy and not asked of the display.
    ASSERT_TRUE(desktop.clipboard->setTransientText(ClipboardMode::Clipboard, QStringLiteral("said")));
    const ClipboardContent ours = desktop.clipboard->snapshot(ClipboardMode::Clipboard);
    EXPECT_TRUE(ours.complete);
    EXPECT_TRUE(ours.items.contains(ClipboardItem { QStringLiteral("text/plain"), "said" }));
}

} // namespace
} // namespace murmeli::platform
