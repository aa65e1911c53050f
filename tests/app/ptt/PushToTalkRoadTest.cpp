#include "main/app/ptt/PushToTalkRoad.h"

#include <gtest/gtest.h>

namespace murmeli::app {

namespace {

using platform::KeyChord;

TEST(PushToTalkRoadTest, AStoredHotkeyBecomesTheChordTheDesktopGrabs)
{
    using platform::KeyModifier;
    namespace bit = settings::HotkeyModifier;
    struct Row {
        const char* name;
        settings::PTTHotkey hotkey;
        std::optional<KeyChord> chord;
    };
    const Row rows[] = {
        { "unbound", settings::PTTHotkey::none(), std::nullopt },
        { "no key", { bit::control, 0, {} }, std::nullopt },
        { "Ctrl+Alt+K", { bit::control | bit::option, 'k', {} },
            KeyChord { 'k', std::nullopt, KeyModifier::Ctrl | KeyModifier::Alt, std::nullopt } },
        { "Shift+F5", { bit::shift, 0xffc2, {} }, KeyChord { 0xffc2, std::nullopt, KeyModifier::Shift, std::nullopt } },
        { "Super+space, caps lock bit dropped", { bit::command | 0x10000, ' ', {} },
            KeyChord { ' ', std::nullopt, KeyModifier::Super, std::nullopt } },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PushToTalkRoad::customHotkeyChord(row.hotkey), row.chord) << row.name;
    }
}

} // namespace
} // namespace murmeli::app
