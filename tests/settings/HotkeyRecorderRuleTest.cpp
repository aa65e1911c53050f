#include <gtest/gtest.h>

#include "main/settings/HotkeyKeys.h"
#include "main/settings/HotkeyRecorderRule.h"

using namespace murmeli::settings;
using Decision = HotkeyRecorderRule::Decision;

// Every key press the recorder may see, as Qt reports it (with and without the X server's own keysym), and what
// the recorder does with it; an accepted one is shown as the hotkey it becomes.
TEST(HotkeyRecorderRuleTest, PressesAreAcceptedOrRefusedByTheRecordersRules)
{
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    struct Row {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        quint32 nativeKeysym;
        Decision decision;
        const char* display;
    };
    const Row rows[] = {
        { Qt::Key_K, ctrlAlt, 0, Decision::Accept, "Ctrl+Alt+K" },
        { Qt::Key_K, ctrlAlt, 'k', Decision::Accept, "Ctrl+Alt+K" },
        { Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, 'K', Decision::Accept, "Shift+Super+K" },
        { Qt::Key_Escape, Qt::NoModifier, 0, Decision::Stop, "" },
        { Qt::Key_Escape, ctrlAlt, 0xff1b, Decision::Stop, "" },
        { Qt::Key_A, Qt::NoModifier, 0, Decision::Ignore, "" },
        { Qt::Key_F13, Qt::NoModifier, 0xffca, Decision::Ignore, "" },
        { Qt::Key_Control, ctrl, 0xffe3, Decision::Ignore, "" },
        { Qt::Key_Alt, ctrlAlt, 0, Decision::Ignore, "" },
        { Qt::Key_Meta, Qt::MetaModifier, 0, Decision::Ignore, "" },
        // Shift alone on a key that types would make every capital a take.
        { Qt::Key_K, shift, 'K', Decision::Ignore, "" },
        { Qt::Key_Exclam, shift, 0, Decision::Ignore, "" },
        { Qt::Key_Space, shift, 0, Decision::Ignore, "" },
        { Qt::Key_F5, shift, 0, Decision::Accept, "Shift+F5" },
        { Qt::Key_Backtab, shift, 0xfe20, Decision::Accept, "Shift+Tab" },
        { Qt::Key_Space, ctrl, 0, Decision::Accept, "Ctrl+Space" },
        { Qt::Key_Return, ctrl, 0, Decision::Accept, "Ctrl+Return" },
        { Qt::Key_Backspace, ctrl, 0, Decision::Accept, "Ctrl+Backspace" },
        { Qt::Key_Left, ctrlAlt, 0, Decision::Accept, "Ctrl+Alt+\u2190" },
        // Keys whose keysym cannot be stored: Delete's is the stored form's "unbound", a media key's is too long.
        { Qt::Key_Delete, ctrl, 0, Decision::Ignore, "" },
        { Qt::Key_VolumeUp, ctrl, 0x1008ff13, Decision::Ignore, "" },
        { Qt::Key_unknown, ctrl, 0, Decision::Ignore, "" },
    };
    for (const Row& row : rows) {
        const KeyPress press = HotkeyKeys::fromQt(row.qtKey, row.modifiers, row.nativeKeysym);
        EXPECT_EQ(HotkeyRecorderRule::decide(press), row.decision) << std::hex << row.qtKey;
        if (row.decision == Decision::Accept) {
            EXPECT_EQ(PTTHotkey::from(press).display, QString::fromUtf8(row.display));
        }
    }
}
