#include "main/voice/preferences/LocaleNormalizer.h"

#include <QHash>
#include <QLocale>

namespace murmeli::voice::LocaleNormalizer {

namespace {

struct Language {
    const char* code;
    const char* defaultTag;
};

// In the order the cloud recogniser lists its languages; the tag is used when an identifier has no region.
constexpr Language languages[] = {
    { "zh", "zh-CN" },
    { "en", "en-US" },
    { "ja", "ja-JP" },
    { "ko", "ko-KR" },
    { "de", "de-DE" },
    { "fr", "fr-FR" },
    { "ru", "ru-RU" },
    { "es", "es-ES" },
    { "it", "it-IT" },
    { "pt", "pt-BR" },
    { "ar", "ar-SA" },
    { "hi", "hi-IN" },
    { "id", "id-ID" },
    { "th", "th-TH" },
    { "tr", "tr-TR" },
    { "uk", "uk-UA" },
    { "vi", "vi-VN" },
    { "cs", "cs-CZ" },
    { "da", "da-DK" },
    { "fil", "fil-PH" },
    { "fi", "fi-FI" },
    { "is", "is-IS" },
    { "ms", "ms-MY" },
    { "no", "no-NO" },
    { "pl", "pl-PL" },
    { "sv", "sv-SE" },
};

const QHash<QString, QString>& defaultTags()
{
    static const QHash<QString, QString> tags = [] {
        QHash<QString, QString> byCode;
        for (const Language& language : languages) {
            byCode.insert(QLatin1String(language.code), QLatin1String(language.defaultTag));
        }
        return byCode;
    }();
    return tags;
}

// Exactly two letters, both upper case as written: a script ("Hant"), a numeric region ("419"), a lower-case
// region and a region with an extension glued to it are not regions here.
bool isRegion(const QString& piece)
{
    return piece.size() == 2 && piece.at(0).isUpper() && piece.at(1).isUpper();
}

} // namespace

const QStringList& supportedLanguageCodes()
{
    static const QStringList codes = [] {
        QStringList list;
        for (const Language& language : languages) {
            list.append(QLatin1String(language.code));
        }
        return list;
    }();
    return codes;
}

const QList<PickerOption>& pickerOptions()
{
    static const QList<PickerOption> options {
        { QLatin1String(followSystemSentinel), QStringLiteral("Follow System") },
        { QStringLiteral("zh-CN"), QStringLiteral("中文 (zh-CN)") },
        { QStringLiteral("en-US"), QStringLiteral("English (en-US)") },
        { QStringLiteral("ja-JP"), QStringLiteral("日本語 (ja-JP)") },
        { QStringLiteral("pt-BR"), QStringLiteral("Português (pt-BR)") },
    };
    return options;
}

QString effectiveLocale(const platform::Defaults& defaults, const QString& platformLocaleIdentifier)
{
    const QString stored
        = defaults.stringValue(QLatin1String(userDefaultsKey)).value_or(QLatin1String(followSystemSentinel));
    if (!stored.isEmpty() && stored != QLatin1String(followSystemSentinel)) {
        return resolveBCP47(stored);
    }
    return resolveBCP47(platformLocaleIdentifier);
}

QString effectiveLocale(const platform::Defaults& defaults)
{
    return effectiveLocale(defaults, platformLocaleIdentifier());
}

QString resolveBCP47(const QString& identifier)
{
    QString hyphenated = identifier;
    hyphenated.replace(QLatin1Char('_'), QLatin1Char('-'));
    const QStringList pieces = hyphenated.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) {
        return QLatin1String(fallbackBCP47);
    }
    const QString language = pieces.first().toLower();
    const auto tag = defaultTags().constFind(language);
    if (tag == defaultTags().cend()) {
        return QLatin1String(fallbackBCP47);
    }
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        if (isRegion(pieces.at(i))) {
            return language + QLatin1Char('-') + pieces.at(i);
        }
    }
    return *tag;
}

QString platformLocaleIdentifier(const QProcessEnvironment& environment)
{
    // The precedence the C library gives the message language, which is the language the user speaks.
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const QString value = environment.value(QLatin1String(variable));
        if (!value.isEmpty()) {
            return stripPosixLocaleSuffixes(value);
        }
    }
    return stripPosixLocaleSuffixes(QLocale::system().name());
}

QString platformLocaleIdentifier()
{
    return platformLocaleIdentifier(QProcessEnvironment::systemEnvironment());
}

QString stripPosixLocaleSuffixes(const QString& posixName)
{
    // language[_territory][.codeset][@modifier]: the codeset and modifier never carry the region.
    for (qsizetype i = 0; i < posixName.size(); ++i) {
        if (posixName.at(i) == QLatin1Char('.') || posixName.at(i) == QLatin1Char('@')) {
            return posixName.left(i);
        }
    }
    return posixName;
}

} // namespace murmeli::voice::LocaleNormalizer
