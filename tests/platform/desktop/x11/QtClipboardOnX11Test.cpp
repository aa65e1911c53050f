#include "platform/desktop/qt/QtClipboardAccess.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include "platform/desktop/x11/X11Reply.h"
#include "tests/platform/desktop/x11/X11Session.h"

namespace murmeli::platform {
namespace {

using test::runTool;

class QtClipboardOnX11Test : public test::X11Session {
protected:
    xcb_window_t clipboardOwner()
    {
        xcb_connection_t* c = m_connection->connection();
        const X11Reply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_connection->atom("CLIPBOARD")), nullptr));
        return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    }

    // xclip takes the clipboard while this thread waits without handling events, so Qt has not heard of the copy
    // when it claims the clipboard next: Qt keeps the time of its last claim while it handles no event, so that
    // claim is older than xclip's and the display refuses it.
    bool copyUnseen(const QByteArray& text)
    {
        const xcb_window_t before = clipboardOwner();
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
            { QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
        xclip.write(text);
        xclip.closeWriteChannel();
        if (!xclip.waitForFinished(10000) || xclip.exitCode() != 0) {
            return false;
        }
        // xclip claims the clipboard from the process it leaves behind, a moment after the one we ran has ended.
        const QDeadlineTimer deadline(10000);
        while (clipboardOwner() == before) {
            if (deadline.hasExpired()) {
                return false;
            }
            QThread::usleep(500);
        }
        return true;
    }

    static std::optional<QByteArray> clipboardText()
    {
        return runTool(QStringLiteral("xclip"),
            { QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
    }
};

TEST_F(QtClipboardOnX11Test, CopyTheEventLoopHasNotSeenYetWinsOnlyOverARestore)
{
    QtClipboardAccess clipboard;
    ASSERT_TRUE(clipboard.setText(QStringLiteral("an earlier take")));
    ASSERT_TRUE(copyUnseen("copied a moment ago"));

    // Our text must get through: it is what the paste will paste.
    EXPECT_TRUE(clipboard.setTransientText(ClipboardMode::Clipboard, QStringLiteral("what was said")));
    EXPECT_EQ(clipboardText(), QByteArray("what was said"));

    // Putting older content back must not: a copy made after our text is the user's.
    ASSERT_TRUE(copyUnseen("copied after the paste"));
    EXPECT_FALSE(clipboard.restore(ClipboardMode::Clipboard, { { QStringLiteral("text/plain"), "an earlier take" } }));
    EXPECT_EQ(clipboardText(), QByteArray("copied after the paste"));
}

} // namespace
} // namespace murmeli::platform
