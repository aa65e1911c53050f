#include "main/voice/injection/InputInjector.h"

#include "main/voice/injection/AXHealth.h"
#include "platform/desktop/KeyInjector.h"

namespace murmeli::voice {

InputInjector::InputInjector(const AXHealth& health, platform::KeyInjector& keys) : m_health(health), m_keys(keys) { }

QString InputInjector::blockedLine(const QString& operation) const
{
    return QStringLiteral("⚠ Input injection blocked: AX revoked (%1) — %2").arg(operation, m_health.selfDescribe());
}

platform::KeyChord InputInjector::chordFor(PasteKey key)
{
    using platform::KeyModifier;
    switch (key) {
    case PasteKey::CtrlV:
        return { platform::keysym::V, std::nullopt, KeyModifier::Ctrl };
    case PasteKey::CtrlShiftV:
        return { platform::keysym::V, std::nullopt, KeyModifier::Ctrl | KeyModifier::Shift };
    case PasteKey::ShiftInsert:
        return { platform::keysym::Insert, std::nullopt, KeyModifier::Shift };
    }
    return {};
}

bool InputInjector::paste(PasteKey key)
{
    return send(QStringLiteral("paste"), chordFor(key), toString(key));
}

bool InputInjector::sendKey(const platform::KeyChord& chord)
{
    return send(QStringLiteral("sendKey"), chord, platform::describeKeyChord(chord));
}

platform::KeyModifiers InputInjector::heldModifiers() const
{
    return m_keys.heldModifiers();
}

bool InputInjector::send(const QString& operation, const platform::KeyChord& chord, const QString& keyName)
{
    if (!m_health.isTrusted()) {
        if (onAXRevoked) {
            onAXRevoked(operation);
        }
        return false;
    }
    if (m_keys.sendChord(chord)) {
        return true;
    }
    onLog(QStringLiteral("[input] %1 failed: the display took no %2").arg(operation, keyName), common::LogColor::Red);
    return false;
}

} // namespace murmeli::voice
