#include "main/settings/PTTHotkey.h"

#include <array>
#include <utility>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "main/settings/HotkeyKeys.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

namespace {

const QString modifiersKey = QStringLiteral("modifiersRaw");
const QString keyCodeKey = QStringLiteral("keyCode");
const QString displayKey = QStringLiteral("display");

// JSON numbers are doubles; larger whole numbers than this are no longer exact.
constexpr double maxExactInteger = 9007199254740992.0;

std::optional<quint64> wholeNumber(const QJsonValue& value, double max)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (number < 0 || number > max || number != static_cast<double>(static_cast<quint64>(number))) {
        return std::nullopt;
    }
    return static_cast<quint64>(number);
}

std::optional<PTTHotkey> fromObject(const QJsonObject& object)
{
    const std::optional<quint64> modifiers = wholeNumber(object.value(modifiersKey), maxExactInteger);
    const std::optional<quint64> keyCode = wholeNumber(object.value(keyCodeKey), PTTHotkey::unboundKeyCode);
    const QJsonValue display = object.value(displayKey);
    if (!modifiers || !keyCode || !display.isString()) {
        return std::nullopt;
    }
    return PTTHotkey { *modifiers, static_cast<quint16>(*keyCode), display.toString() };
}

QJsonObject toObject(const PTTHotkey& hotkey)
{
    return QJsonObject {
        { modifiersKey, static_cast<double>(hotkey.modifiersRaw) },
        { keyCodeKey, hotkey.keyCode },
        { displayKey, hotkey.display },
    };
}

bool isBlank(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isSpace() && c.category() != QChar::Other_Control) {
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray PTTHotkey::toJson() const
{
    return QJsonDocument(toObject(*this)).toJson(QJsonDocument::Compact);
}

std::optional<PTTHotkey> PTTHotkey::fromJson(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        return std::nullopt;
    }
    return fromObject(document.object());
}

PTTHotkey PTTHotkey::loadFromDefaults(const platform::Defaults& defaults)
{
    const std::optional<QJsonObject> stored = defaults.objectValue(QString::fromLatin1(udKey));
    if (!stored) {
        return none();
    }
    const std::optional<PTTHotkey> decoded = fromObject(*stored);
    if (!decoded || !decoded->isBound()) {
        return none();
    }
    return *decoded;
}

void PTTHotkey::saveToDefaults(platform::Defaults& defaults) const
{
    if (!isBound()) {
        defaults.remove(QString::fromLatin1(udKey));
        return;
    }
    defaults.setValue(QString::fromLatin1(udKey), toObject(*this));
}

PTTHotkey PTTHotkey::from(const KeyPress& press)
{
    const quint64 modifiers = press.modifierFlags & HotkeyModifier::mask;
    return PTTHotkey { modifiers, press.keyCode, displayString(modifiers, press.keyCode, press.characters) };
}

QString PTTHotkey::displayString(quint64 modifiers, quint16 keyCode, const std::optional<QString>& characters)
{
    static const std::array<std::pair<quint64, const char*>, 4> names { {
        { HotkeyModifier::control, "Ctrl+" },
        { HotkeyModifier::option, "Alt+" },
        { HotkeyModifier::shift, "Shift+" },
        { HotkeyModifier::command, "Super+" },
    } };
    QString text;
    for (const auto& [bit, name] : names) {
        if ((modifiers & bit) != 0) {
            text += QLatin1String(name);
        }
    }
    // A space or a control character would show as nothing on the key cap; the key's name says more.
    if (characters && !characters->isEmpty() && !isBlank(*characters)) {
        return text + characters->toUpper();
    }
    return text + keyCodeFallback(keyCode);
}

QString PTTHotkey::keyCodeFallback(quint16 keyCode)
{
    if (const std::optional<QString> name = HotkeyKeys::keyName(keyCode)) {
        return *name;
    }
    return QStringLiteral("Key") + QString::number(keyCode);
}

} // namespace murmeli::settings
