#include "platform/desktop/KeyChord.h"

#include <QStringList>

namespace murmeli::platform {

QString describeKeyChord(const KeyChord& chord)
{
    QStringList parts;
    const std::pair<KeyModifier, const char*> names[] = { { KeyModifier::Ctrl, "Ctrl" }, { KeyModifier::Alt, "Alt" },
        { KeyModifier::Super, "Super" }, { KeyModifier::Shift, "Shift" } };
    for (const auto& [modifier, name] : names) {
        if (chord.modifiers.testFlag(modifier)) {
            parts << QLatin1String(name);
        }
    }
    QString symbol = QStringLiteral("0x%1").arg(chord.keysym, 0, 16);
    if (chord.alternateKeysym) {
        symbol += QStringLiteral("/0x%1").arg(*chord.alternateKeysym, 0, 16);
    }
    parts << symbol;
    QString text = parts.join(QLatin1Char('+'));
    if (chord.keycode) {
        text += QStringLiteral(" (key %1)").arg(*chord.keycode);
    }
    return text;
}

} // namespace murmeli::platform
