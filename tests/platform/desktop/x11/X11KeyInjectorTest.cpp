#include "platform/desktop/x11/X11KeyInjector.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include "platform/desktop/qt/QtClipboardAccess.h"
#include "platform/desktop/x11/X11WindowSystem.h"
#include "tests/platform/desktop/x11/X11Session.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::runTool;
using test::waitUntil;
using test::Xterm;

constexpr quint32 keysymR = 0x0072;

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class X11KeyInjectorTest : public test::X11Session {
protected:
    void SetUp() override
    {
        X11Session::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            m_keys = std::make_unique<X11KeyInjector>(m_connection);
        }
    }

    std::unique_ptr<X11KeyInjector> m_keys;
};

TEST_F(X11KeyInjectorTest, PasteChordPutsTheSelectionIntoTheFocusedXterm)
{
    // A stock xterm pastes the selection on Shift+Insert and ignores Ctrl+Shift+V unless told to paste with it.
    const QStringList pasteOnCtrlShiftV = { QStringLiteral("-xrm"),
        QStringLiteral("*VT100.translations: #override Ctrl Shift <Key>V: insert-selection(CLIPBOARD)") };
    struct Case {
        const char* name;
        QStringList xtermArguments;
        KeyChord chord;
    };
    const QList<Case> cases = {
        { "Ctrl+Shift+V", pasteOnCtrlShiftV, { keysym::V, std::nullopt, KeyModifier::Ctrl | KeyModifier::Shift } },
        { "Shift+Insert", {}, { keysym::Insert, std::nullopt, KeyModifier::Shift } },
    };
    QtClipboardAccess clipboard;
    X11WindowSystem windows(m_connection);
    const QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QString::fromLatin1(c.name).remove(QLatin1Char('+')));
        const QString instance
            = QStringLiteral("murmelipaste%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
        // Without line editing the terminal hands on each byte as it comes, so no Return has to follow the paste.
        Xterm xterm(instance, c.xtermArguments, QStringLiteral("stty -icanon && cat > '%1'").arg(file));
        const quint64 id = xterm.waitForWindow();
        ASSERT_NE(id, 0u);
        // The display hands out the window numbers of gone clients again, so the process tells the xterms apart.
        ASSERT_TRUE(waitUntil([&] {
            const WindowInfo active = windows.activeWindow().value_or(WindowInfo {});
            return active.id == id && active.pid == xterm.pid();
        }));

        // A new xterm drops the keys of its first moments even with the focus; it listens once it echoes one.
        ASSERT_TRUE(waitUntil(
            [&] {
                m_keys->sendChord({ keysymR, std::nullopt, {} });
                return waitUntil([&] { return !contentsOf(file).isEmpty(); }, 300);
            },
            10000));
        const QByteArray typed = contentsOf(file);

        const QString text = QStringLiteral("pasted by %1").arg(QLatin1String(c.name));
        clipboard.setTransientText(ClipboardMode::Selection, text);
        clipboard.setTransientText(ClipboardMode::Clipboard, text);
        EXPECT_EQ(m_keys->heldModifiers(), KeyModifiers {});
        ASSERT_TRUE(m_keys->sendChord(c.chord));
        QByteArray written;
        EXPECT_TRUE(waitUntil([&] {
            written = contentsOf(file);
            return written.size() >= typed.size() + text.size();
        })) << "the xterm wrote "
            << written.constData();
        EXPECT_EQ(written, typed + text.toUtf8());
        EXPECT_EQ(m_keys->heldModifiers(), KeyModifiers {}) << "a modifier of the chord stayed down";
    }
}

TEST_F(X11KeyInjectorTest, HeldModifiersAreSeenAndASymbolWithoutAKeyIsNotSent)
{
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keydown"), QStringLiteral("ctrl") }));
    EXPECT_EQ(m_keys->heldModifiers(), KeyModifiers(KeyModifier::Ctrl));
    ASSERT_TRUE(runTool(QStringLiteral("xdotool"), { QStringLiteral("keyup"), QStringLiteral("ctrl") }));
    EXPECT_EQ(m_keys->heldModifiers(), KeyModifiers {});

    // A symbol no key of the keymap produces: nothing can be sent for it.
    EXPECT_FALSE(m_keys->sendChord({ 0x10fffff, std::nullopt, {} }));
}

} // namespace
} // namespace murmeli::platform
