#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/settings/PTTHotkey.h"
#include "platform/defaults/Defaults.h"

using murmeli::settings::KeyPress;
using murmeli::settings::PTTHotkey;
namespace HotkeyModifier = murmeli::settings::HotkeyModifier;

// A saved hotkey reads back equal, as one JSON object of exactly its three fields; the unbound one is never stored.
TEST(PTTHotkeyTest, SavedHotkeysReadBackAndTheUnboundOneRemovesTheKey)
{
    QTemporaryDir dir;
    murmeli::platform::Defaults defaults(dir.path() + QStringLiteral("/defaults.json"));
    const QString key = QString::fromLatin1(PTTHotkey::udKey);
    EXPECT_FALSE(PTTHotkey::loadFromDefaults(defaults).isBound());

    const PTTHotkey hotkey { HotkeyModifier::control | HotkeyModifier::option, 'k', QStringLiteral("Ctrl+Alt+K") };
    hotkey.saveToDefaults(defaults);
    EXPECT_EQ(PTTHotkey::loadFromDefaults(defaults), hotkey);
    const QJsonObject stored = defaults.objectValue(key).value_or(QJsonObject());
    EXPECT_EQ(stored.keys(), (QStringList { "display", "keyCode", "modifiersRaw" }));
    EXPECT_EQ(stored.value(QStringLiteral("modifiersRaw")).toInteger(), 0xC0000);
    EXPECT_EQ(PTTHotkey::fromJson(hotkey.toJson()), hotkey);

    PTTHotkey { HotkeyModifier::shift, PTTHotkey::unboundKeyCode, QStringLiteral("Shift+?") }.saveToDefaults(defaults);
    EXPECT_FALSE(defaults.contains(key));
    EXPECT_EQ(PTTHotkey::loadFromDefaults(defaults), PTTHotkey::none());
    EXPECT_TRUE((PTTHotkey { 0, 0, QString() }.isBound())) << "0 is a key code like any other";
}

// Stored values that are not a whole, well-typed hotkey read as unbound, and are left in place.
TEST(PTTHotkeyTest, BadStoredValuesReadAsUnbound)
{
    const char* stored[] = {
        R"({"modifiersRaw": 262144, "keyCode": 107})",
        R"({"modifiersRaw": 262144, "keyCode": 65535, "display": "x"})",
        R"({"modifiersRaw": 262144, "keyCode": 65536, "display": "x"})",
        R"({"modifiersRaw": 262144, "keyCode": 10.5, "display": "x"})",
        R"({"modifiersRaw": -1, "keyCode": 107, "display": "x"})",
        R"({"modifiersRaw": "262144", "keyCode": 107, "display": "x"})",
        R"({"modifiersRaw": 262144, "keyCode": 107, "display": 7})",
    };
    QTemporaryDir dir;
    murmeli::platform::Defaults defaults(dir.path() + QStringLiteral("/defaults.json"));
    const QString key = QString::fromLatin1(PTTHotkey::udKey);
    for (const char* json : stored) {
        defaults.setValue(key, QJsonDocument::fromJson(json).object());
        EXPECT_EQ(PTTHotkey::loadFromDefaults(defaults), PTTHotkey::none()) << json;
        EXPECT_TRUE(defaults.contains(key)) << json;
    }
    defaults.setValue(key, QStringLiteral("not an object"));
    EXPECT_EQ(PTTHotkey::loadFromDefaults(defaults), PTTHotkey::none());
    EXPECT_EQ(PTTHotkey::fromJson("[1, 2]"), std::nullopt);
}

// What a press turns into: only the four modifier bits stay; the text names the modifiers in a fixed order, then
// the key's characters upper-cased or, without any, the key's name.
TEST(PTTHotkeyTest, PressesTurnIntoTheirBitsAndDisplayText)
{
    constexpr quint64 capsLock = 0x10000;
    constexpr quint64 numericPad = 0x200000;
    struct Row {
        KeyPress press;
        quint64 modifiers;
        const char* display;
    };
    const Row rows[] = {
        { { HotkeyModifier::command | HotkeyModifier::shift, 'k', QStringLiteral("k") }, 0x120000, "Shift+Super+K" },
        { { capsLock | HotkeyModifier::control, 'a', QStringLiteral("a") }, 0x40000, "Ctrl+A" },
        { { HotkeyModifier::mask | numericPad, '1', QStringLiteral("1") }, 0x1E0000, "Ctrl+Alt+Shift+Super+1" },
        { { HotkeyModifier::control, 0xff1b, std::nullopt }, 0x40000, "Ctrl+Esc" },
        { { HotkeyModifier::control, 0xff1b, QString() }, 0x40000, "Ctrl+Esc" },
        { { HotkeyModifier::option, 122, std::nullopt }, 0x80000, "Alt+Key122" },
        { { HotkeyModifier::control, 0x20, QStringLiteral(" ") }, 0x40000, "Ctrl+Space" },
        { { HotkeyModifier::shift, 0xffc2, std::nullopt }, 0x20000, "Shift+F5" },
        { { HotkeyModifier::control, 0xff52, std::nullopt }, 0x40000, "Ctrl+\u2191" },
    };
    for (const Row& row : rows) {
        const PTTHotkey hotkey = PTTHotkey::from(row.press);
        EXPECT_EQ(hotkey.modifiersRaw, row.modifiers) << row.display;
        EXPECT_EQ(hotkey.keyCode, row.press.keyCode) << row.display;
        EXPECT_EQ(hotkey.display, QString::fromUtf8(row.display));
    }
}
