#include "platform/desktop/qt/QtClipboardAccess.h"

#include <algorithm>

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include "tests/platform/desktop/x11/X11Session.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::runTool;
using test::waitUntil;

QByteArray pngImage()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// What another program offers, as xclip puts it on a selection.
std::optional<QByteArray> xclipOut(const char* selection, const char* type)
{
    return runTool(QStringLiteral("xclip"),
        { QStringLiteral("-o"), QStringLiteral("-selection"), QLatin1String(selection), QStringLiteral("-t"),
            QLatin1String(type) });
}

class QtClipboardAccessTest : public test::X11Session {
protected:
    void SetUp() override
    {
        X11Session::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            m_clipboard = std::make_unique<QtClipboardAccess>();
        }
    }

    std::unique_ptr<QtClipboardAccess> m_clipboard;
};

TEST_F(QtClipboardAccessTest, AnotherProgramsContentSurvivesATransientText)
{
    struct Case {
        const char* name;
        const char* type;
        QByteArray data;
    };
    const QList<Case> cases = {
        { "text", "UTF8_STRING", QStringLiteral("Grüße aus dem Terminal\n").toUtf8() },
        { "an image", "image/png", pngImage() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // xclip stays behind to serve the clipboard until someone else takes it.
        const quint64 before = m_clipboard->changeCount(ClipboardMode::Clipboard);
        ASSERT_TRUE(runTool(QStringLiteral("xclip"),
            { QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                QLatin1String(c.type) },
            c.data));
        // The program that had the clipboard before may let go of it just now, and the display tells of a change a
        // moment after the new owner answers: wait for both.
        ClipboardContent saved;
        ASSERT_TRUE(waitUntil([&] {
            saved = m_clipboard->snapshot(ClipboardMode::Clipboard);
            return saved.changeCount > before
                && std::any_of(saved.items.cbegin(), saved.items.cend(),
                    [&](const ClipboardItem& item) { return item.data == c.data; });
        })) << "the change by another program was not counted, or xclip's content not read";

        // Our text replaces it, marked for clipboard managers, on both selections; serving it to other programs
        // changes nothing.
        ASSERT_TRUE(m_clipboard->setTransientText(ClipboardMode::Selection, QStringLiteral("what was said")));
        ASSERT_TRUE(m_clipboard->setTransientText(ClipboardMode::Clipboard, QStringLiteral("what was said")));
        const quint64 written = m_clipboard->changeCount(ClipboardMode::Clipboard);
        EXPECT_GT(written, saved.changeCount);
        EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), QByteArray("what was said"));
        EXPECT_EQ(xclipOut("primary", "UTF8_STRING"), QByteArray("what was said"));
        EXPECT_EQ(xclipOut("clipboard", "x-kde-passwordManagerHint"), QByteArray("secret"));
        EXPECT_EQ(m_clipboard->changeCount(ClipboardMode::Clipboard), written)
            << "serving the text to other programs counted as a change";

        ASSERT_TRUE(m_clipboard->restore(ClipboardMode::Clipboard, saved.items));
        EXPECT_EQ(xclipOut("clipboard", c.type), c.data);
        const std::optional<QByteArray> targets = xclipOut("clipboard", "TARGETS");
        ASSERT_TRUE(targets.has_value());
        EXPECT_FALSE(targets->contains("x-kde-passwordManagerHint")) << targets->constData();
    }
}

TEST_F(QtClipboardAccessTest, PlainTextStaysAndAnEmptySnapshotEmptiesTheClipboard)
{
    ASSERT_TRUE(m_clipboard->setText(QStringLiteral("kept for the user")));
    EXPECT_EQ(xclipOut("clipboard", "UTF8_STRING"), QByteArray("kept for the user"));
    const std::optional<QByteArray> targets = xclipOut("clipboard", "TARGETS");
    ASSERT_TRUE(targets.has_value());
    EXPECT_FALSE(targets->contains("x-kde-passwordManagerHint")) << targets->constData();

    EXPECT_TRUE(m_clipboard->restore(ClipboardMode::Clipboard, {}));
    EXPECT_TRUE(m_clipboard->snapshot(ClipboardMode::Clipboard).items.isEmpty());
    EXPECT_FALSE(xclipOut("clipboard", "UTF8_STRING").has_value()) << "the clipboard still offers text";
}

} // namespace
} // namespace murmeli::platform
