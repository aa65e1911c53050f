#include "main/settings/HotkeyKeys.h"

#include <array>
#include <utility>

namespace murmeli::settings::HotkeyKeys {

namespace {

// Qt's keys beyond Latin-1 and the keysyms they stand for.
constexpr std::array<std::pair<int, quint16>, 35> qtKeysyms { {
    { Qt::Key_Escape, escape },
    { Qt::Key_Tab, tab },
    // Shift+Tab arrives as Backtab; the key is Tab, Shift is in the modifiers.
    { Qt::Key_Backtab, tab },
    { Qt::Key_Backspace, backspace },
    { Qt::Key_Return, returnKey },
    { Qt::Key_Enter, 0xff8d },
    { Qt::Key_Insert, 0xff63 },
    { Qt::Key_Delete, 0xffff },
    { Qt::Key_Pause, 0xff13 },
    { Qt::Key_Print, 0xff61 },
    { Qt::Key_Home, 0xff50 },
    { Qt::Key_End, 0xff57 },
    { Qt::Key_Left, 0xff51 },
    { Qt::Key_Up, 0xff52 },
    { Qt::Key_Right, 0xff53 },
    { Qt::Key_Down, 0xff54 },
    { Qt::Key_PageUp, 0xff55 },
    { Qt::Key_PageDown, 0xff56 },
    { Qt::Key_Menu, 0xff67 },
    { Qt::Key_Shift, 0xffe1 },
    { Qt::Key_Control, 0xffe3 },
    { Qt::Key_Meta, 0xffeb },
    { Qt::Key_Alt, 0xffe9 },
    { Qt::Key_AltGr, 0xfe03 },
    { Qt::Key_CapsLock, 0xffe5 },
    { Qt::Key_NumLock, 0xff7f },
    { Qt::Key_ScrollLock, 0xff14 },
    { Qt::Key_Super_L, 0xffeb },
    { Qt::Key_Super_R, 0xffec },
    { Qt::Key_Hyper_L, 0xffed },
    { Qt::Key_Hyper_R, 0xffee },
    { Qt::Key_Mode_switch, 0xff7e },
    { Qt::Key_Clear, 0xff0b },
    { Qt::Key_SysReq, 0xff15 },
    { Qt::Key_Help, 0xff6a },
} };

constexpr int qtFunctionKeys = 35;

constexpr std::array<std::pair<quint16, const char*>, 19> names { {
    { returnKey, "Return" },
    { tab, "Tab" },
    { space, "Space" },
    { backspace, "Backspace" },
    { escape, "Esc" },
    { 0xff51, "\u2190" },
    { 0xff53, "\u2192" },
    { 0xff54, "\u2193" },
    { 0xff52, "\u2191" },
    { 0xff8d, "Enter" },
    { 0xff63, "Insert" },
    { 0xff13, "Pause" },
    { 0xff61, "Print" },
    { 0xff50, "Home" },
    { 0xff57, "End" },
    { 0xff55, "Page Up" },
    { 0xff56, "Page Down" },
    { 0xff67, "Menu" },
    { 0xff14, "Scroll Lock" },
} };

quint16 keysymOfQtKey(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        // Qt names letters by their capital; the key's keysym is the small letter.
        return static_cast<quint16>(qtKey - Qt::Key_A + 'a');
    }
    if (qtKey >= Qt::Key_Space && qtKey <= 0xff) {
        return static_cast<quint16>(qtKey);
    }
    if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + qtFunctionKeys) {
        return static_cast<quint16>(f1 + (qtKey - Qt::Key_F1));
    }
    for (const auto& [key, keysym] : qtKeysyms) {
        if (key == qtKey) {
            return keysym;
        }
    }
    return 0;
}

quint16 normalisedKeysym(quint32 keysym)
{
    if (keysym > 0xffff) {
        return 0;
    }
    if (keysym >= 'A' && keysym <= 'Z') {
        // Shift turns the keysym of a letter into its capital; the hotkey names the key.
        return static_cast<quint16>(keysym - 'A' + 'a');
    }
    // Shift+Tab reports the left tab keysym; it is the Tab key.
    return keysym == 0xfe20 ? tab : static_cast<quint16>(keysym);
}

} // namespace

quint64 modifierBits(Qt::KeyboardModifiers modifiers)
{
    quint64 bits = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        bits |= HotkeyModifier::shift;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        bits |= HotkeyModifier::control;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        bits |= HotkeyModifier::option;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        bits |= HotkeyModifier::command;
    }
    return bits;
}

KeyPress fromQt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeKeysym)
{
    KeyPress press;
    press.modifierFlags = modifierBits(modifiers);
    press.keyCode = nativeKeysym != 0 ? normalisedKeysym(nativeKeysym) : keysymOfQtKey(qtKey);
    // The event's own text is bent by Ctrl and Alt; a Latin-1 key's text without them is its Qt key.
    if (qtKey > Qt::Key_Space && qtKey <= 0xff) {
        press.characters = QString(QChar(qtKey));
    }
    return press;
}

bool isCharacterKey(quint16 keysym)
{
    // Below the function-key block every keysym types a character of some script.
    return keysym >= space && keysym < 0xfe00;
}

bool isModifierKey(quint16 keysym)
{
    return (keysym >= 0xffe1 && keysym <= 0xffee) || keysym == 0xff7e || keysym == 0xff7f
        || (keysym >= 0xfe01 && keysym <= 0xfe0f);
}

std::optional<QString> keyName(quint16 keysym)
{
    if (keysym >= f1 && keysym < f1 + qtFunctionKeys) {
        return QStringLiteral("F%1").arg(keysym - f1 + 1);
    }
    for (const auto& [code, name] : names) {
        if (code == keysym) {
            return QString::fromUtf8(name);
        }
    }
    return std::nullopt;
}

} // namespace murmeli::settings::HotkeyKeys
