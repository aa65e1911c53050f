#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "platform/defaults/Defaults.h"

/// Decides the recognition locale: one of 26 supported languages with a region, as "en-US", from the stored
/// setting or the system's locale. Pure functions, callable from any thread.
namespace murmeli::voice::LocaleNormalizer {

/// The user-defaults key of the setting: "system" or a locale identifier.
inline constexpr auto userDefaultsKey = "settings.voice.locale";
/// The stored value that means: follow the system's locale.
inline constexpr auto followSystemSentinel = "system";
/// The answer for anything unsupported.
inline constexpr auto fallbackBCP47 = "zh-CN";

/// The supported primary language subtags, lower case, in their fixed order.
const QStringList& supportedLanguageCodes();

/// One choice of the setting's picker.
struct PickerOption {
    QString value;
    QString label;

    bool operator==(const PickerOption&) const = default;
};

/// The picker's five choices, "system" first.
const QList<PickerOption>& pickerOptions();

/// The stored setting resolved by resolveBCP47; when it is missing, empty or "system", the system locale
/// identifier (platformLocaleIdentifier) resolved the same way.
QString effectiveLocale(const platform::Defaults& defaults, const QString& platformLocaleIdentifier);
/// As above with the process's own locale.
QString effectiveLocale(const platform::Defaults& defaults);

/// Any locale identifier (underscores or hyphens, with or without script and extension subtags) as a supported
/// language and the identifier's upper-case two-letter region, or the language's default region; "zh-CN" when the
/// language is unsupported or missing.
QString resolveBCP47(const QString& identifier);

/// The system's locale identifier: the first set of LC_ALL, LC_MESSAGES and LANG, else Qt's system locale name,
/// with a POSIX encoding (".UTF-8") and modifier ("@latin") removed, so "de_AT.UTF-8" gives "de_AT".
QString platformLocaleIdentifier(const QProcessEnvironment& environment);
/// As above with the process's environment.
QString platformLocaleIdentifier();

/// A POSIX locale name without its encoding and modifier: "sr_RS@latin" gives "sr_RS".
QString stripPosixLocaleSuffixes(const QString& posixName);

} // namespace murmeli::voice::LocaleNormalizer
