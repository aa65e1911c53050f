#include "platform/desktop/x11/X11Keymap.h"

#include <map>

#include <gtest/gtest.h>

namespace murmeli::platform {
namespace {

TEST(X11ModifierMasksTest, ModifierBitsFollowTheKeysOnThem)
{
    // Keys by code as a keymap might have them: 64 Alt_L, 204 Meta_L, 133 Super_L, 77 Num_Lock, 50 Shift_L.
    const std::map<xcb_keycode_t, quint32> symbols
        = { { 64, 0xffe9 }, { 204, 0xffe7 }, { 133, 0xffeb }, { 77, 0xff7f }, { 50, 0xffe1 } };
    const auto keysymOf = [&](xcb_keycode_t keycode) {
        const auto it = symbols.find(keycode);
        return it == symbols.end() ? 0u : it->second;
    };
    struct Case {
        const char* name;
        std::array<QList<xcb_keycode_t>, 8> rows;
        quint16 alt;
        quint16 super;
        quint16 numLock;
    };
    const QList<Case> cases = {
        { "the usual layout", { { { 50 }, {}, {}, { 64 }, { 77 }, {}, { 133 }, {} } }, XCB_MOD_MASK_1, XCB_MOD_MASK_4,
            XCB_MOD_MASK_2 },
        { "Alt known by Meta on Mod2, Super on Mod3, Num Lock on Mod5",
            { { {}, {}, {}, {}, { 204 }, { 133 }, {}, { 77 } } }, XCB_MOD_MASK_2, XCB_MOD_MASK_3, XCB_MOD_MASK_5 },
        { "nothing on the Mod bits keeps the usual bits", {}, XCB_MOD_MASK_1, XCB_MOD_MASK_4, XCB_MOD_MASK_2 },
        { "a modifier key on Shift's row moves nothing", { { { 64, 133 }, {}, {}, {}, {}, {}, {}, {} } },
            XCB_MOD_MASK_1, XCB_MOD_MASK_4, XCB_MOD_MASK_2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const X11ModifierMasks masks = X11ModifierMasks::fromMapping(c.rows, keysymOf);
        EXPECT_EQ(masks.alt, c.alt);
        EXPECT_EQ(masks.super, c.super);
        EXPECT_EQ(masks.numLock, c.numLock);
        // A chord's mask and the modifiers read back from a state that also holds the locks and a mouse button.
        const KeyModifiers all = KeyModifier::Shift | KeyModifier::Ctrl | KeyModifier::Alt | KeyModifier::Super;
        const quint16 state = masks.maskOf(all) | masks.numLock | masks.capsLock | XCB_BUTTON_MASK_1;
        EXPECT_EQ(masks.modifiersIn(state), all);
        EXPECT_EQ(masks.modifiersIn(masks.maskOf(KeyModifier::Super)), KeyModifiers(KeyModifier::Super));
    }
}

} // namespace
} // namespace murmeli::platform
