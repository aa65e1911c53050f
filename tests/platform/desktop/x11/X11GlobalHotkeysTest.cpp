#include "platform/desktop/x11/X11GlobalHotkeys.h"

#include <QList>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include "tests/platform/desktop/x11/X11Session.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using test::runTool;
using test::waitUntil;

class X11GlobalHotkeysTest : public test::X11Session {
protected:
    void SetUp() override
    {
        X11Session::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        makeHotkeys();
    }

    void makeHotkeys()
    {
        m_hotkeys = std::make_unique<X11GlobalHotkeys>(m_connection);
        m_hotkeys->onPressed = [this](HotkeyId id) { m_events << QStringLiteral("press %1").arg(id); };
        m_hotkeys->onReleased = [this](HotkeyId id) { m_events << QStringLiteral("release %1").arg(id); };
    }

    static bool xdotool(const QStringList& arguments)
    {
        return runTool(QStringLiteral("xdotool"), arguments).has_value();
    }

    std::unique_ptr<X11GlobalHotkeys> m_hotkeys;
    QStringList m_events;
};

TEST_F(X11GlobalHotkeysTest, GrabbedChordIsReportedOncePerPressAndRelease)
{
    // What xdotool types and how: by keysym, by the raw key, with lock keys on that the grab must ignore.
    struct Case {
        const char* name;
        KeyChord chord;
        QStringList locks; // toggled on before, off after
        QStringList keys;
    };
    const QList<Case> cases = {
        { "F13 as the evdev keymap names it", KeyChord::f13(), {}, { "key", "--delay", "0", "XF86Tools" } },
        { "F13 as the raw key", KeyChord::f13(), {}, { "keydown", "191", "keyup", "191" } },
        { "F13 with Num Lock on", KeyChord::f13(), { "Num_Lock" }, { "key", "--delay", "0", "XF86Tools" } },
        { "F13 with Caps Lock on", KeyChord::f13(), { "Caps_Lock" }, { "key", "--delay", "0", "XF86Tools" } },
        { "Ctrl+Alt+Super+Shift chord",
            { 0x0068 /* h */, std::nullopt,
                KeyModifier::Ctrl | KeyModifier::Alt | KeyModifier::Super | KeyModifier::Shift },
            {}, { "key", "--delay", "0", "ctrl+alt+super+shift+h" } },
        { "chord whose modifiers come up before its key", { 0x0068, std::nullopt, KeyModifier::Ctrl }, {},
            { "keydown", "ctrl", "keydown", "h", "keyup", "ctrl", "keyup", "h" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_events.clear();
        const HotkeyGrab grab = m_hotkeys->grab(c.chord);
        ASSERT_TRUE(grab.id.has_value()) << grab.error.toStdString();
        const auto ungrab = qScopeGuard([&] { m_hotkeys->ungrab(*grab.id); });
        for (const QString& lock : c.locks) {
            ASSERT_TRUE(xdotool({ "key", lock }));
        }
        const auto unlock = qScopeGuard([&] {
            for (const QString& lock : c.locks) {
                xdotool({ "key", lock });
            }
        });
        ASSERT_TRUE(xdotool(c.keys));
        const QStringList expected
            = { QStringLiteral("press %1").arg(*grab.id), QStringLiteral("release %1").arg(*grab.id) };
        EXPECT_TRUE(waitUntil([&] { return m_events.size() >= 2; })) << m_events.join(", ").toStdString();
        EXPECT_EQ(m_events, expected);
    }
}

TEST_F(X11GlobalHotkeysTest, HeldKeyRepeatingIsOnePress)
{
    // The server's auto-repeat shows as further key presses on the display; they are counted by a listener that
    // comes before the backend's, which keeps the keys it takes from those after it.
    m_hotkeys.reset();
    int rawPresses = 0;
    const int listener = m_connection->addListener([&](const xcb_generic_event_t* event) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            ++rawPresses;
        }
        return false;
    });
    makeHotkeys();
    const HotkeyGrab grab = m_hotkeys->grab(KeyChord::f13());
    ASSERT_TRUE(grab.id.has_value()) << grab.error.toStdString();
    const auto cleanUp = qScopeGuard([&] {
        m_connection->removeListener(listener);
        xdotool({ "keyup", "191" });
    });
    ASSERT_TRUE(xdotool({ "keydown", "191" }));
    ASSERT_TRUE(waitUntil([&] { return rawPresses >= 3; }, 10000)) << "the display did not repeat the held key";
    ASSERT_TRUE(xdotool({ "keyup", "191" }));
    EXPECT_TRUE(waitUntil([&] { return m_events.size() >= 2; }));
    EXPECT_EQ(m_events,
        (QStringList { QStringLiteral("press %1").arg(*grab.id), QStringLiteral("release %1").arg(*grab.id) }));
}

// On a busy machine the display's events are read late: by the time the release of one of a held key's auto-repeats
// is handled, the key is up already, so that release ends the press, and the repeat's press (which the display sends
// with the same time) must start no new one. The events go to the backend as Qt passes them, with F13 really up.
TEST_F(X11GlobalHotkeysTest, AutoRepeatsReadAfterTheKeyWentUpStartNoNewPress)
{
    const HotkeyGrab grab = m_hotkeys->grab(KeyChord::f13());
    ASSERT_TRUE(grab.id.has_value()) << grab.error.toStdString();
    const auto ungrab = qScopeGuard([&] { m_hotkeys->ungrab(*grab.id); });
    struct Key {
        bool press;
        xcb_timestamp_t time;
    };
    const struct {
        const char* name;
        QList<Key> keys;
        int presses;
    } rows[] = {
        { "held with two repeats",
            { { true, 1000 }, { false, 1500 }, { true, 1500 }, { false, 1533 }, { true, 1533 }, { false, 1700 } }, 1 },
        { "pressed again at once", { { true, 2000 }, { false, 2100 }, { true, 2101 }, { false, 2200 } }, 2 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_events.clear();
        for (const Key& key : row.keys) {
            xcb_key_press_event_t event {};
            event.response_type = key.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
            event.detail = f13Keycode;
            event.time = key.time;
            event.root = event.event = m_connection->root();
            event.same_screen = 1;
            m_connection->nativeEventFilter("xcb_generic_event_t", &event, nullptr);
        }
        QStringList expected;
        for (int i = 0; i < row.presses; ++i) {
            expected << QStringLiteral("press %1").arg(*grab.id) << QStringLiteral("release %1").arg(*grab.id);
        }
        EXPECT_EQ(m_events.join(QStringLiteral(", ")).toStdString(), expected.join(QStringLiteral(", ")).toStdString());
    }
}

TEST_F(X11GlobalHotkeysTest, ChordHeldByAnotherProgramIsRefusedAndAnUngrabbedOneIsNotReported)
{
    // Another client of the display holds F13's raw key first.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    auto disconnect = qScopeGuard([&] { xcb_disconnect(other); });
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        other, xcb_grab_key_checked(other, 0, root, 0, f13Keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    const HotkeyGrab refused = m_hotkeys->grab(KeyChord::f13());
    EXPECT_FALSE(refused.id.has_value());
    EXPECT_TRUE(refused.error.contains(QLatin1String("another program"))) << refused.error.toStdString();
    xcb_disconnect(other);
    disconnect.dismiss();

    // Once the other program is gone the chord can be had; given back, it reaches us no more.
    const HotkeyGrab grab = m_hotkeys->grab(KeyChord::f13());
    ASSERT_TRUE(grab.id.has_value()) << grab.error.toStdString();
    m_hotkeys->ungrab(*grab.id);
    const HotkeyGrab marker = m_hotkeys->grab({ keysym::Escape, std::nullopt, KeyModifier::Ctrl });
    ASSERT_TRUE(marker.id.has_value());
    ASSERT_TRUE(xdotool({ "key", "--delay", "0", "XF86Tools", "ctrl+Escape" }));
    EXPECT_TRUE(waitUntil([&] { return m_events.size() >= 2; }));
    EXPECT_EQ(m_events,
        (QStringList { QStringLiteral("press %1").arg(*marker.id), QStringLiteral("release %1").arg(*marker.id) }));
    m_hotkeys->ungrab(*marker.id);
}

} // namespace
} // namespace murmeli::platform
