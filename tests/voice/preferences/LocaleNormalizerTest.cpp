#include "main/voice/preferences/LocaleNormalizer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::voice {

namespace {

TEST(LocaleNormalizerTest, IdentifiersResolveToALanguageAndAnUpperCaseRegion)
{
    const std::pair<const char*, const char*> table[] = {
        { "en_US", "en-US" },
        { "zh-Hans_CN", "zh-CN" },
        { "zh_TW", "zh-TW" },
        { "zh-Hant", "zh-CN" },
        { "zh-Hant-HK", "zh-HK" },
        { "EN-GB", "en-GB" },
        { "en-gb", "en-US" },
        { "es-419", "es-ES" },
        { "en_GB@rg=gbzzzz", "en-US" },
        { "pt", "pt-BR" },
        { "ja", "ja-JP" },
        { "sv", "sv-SE" },
        { "FIL_NZ", "fil-NZ" },
        { "no", "no-NO" },
        { "fil", "fil-PH" },
        { "nb-NO", "zh-CN" },
        { "he-IL", "zh-CN" },
        { "system", "zh-CN" },
        { "xx", "zh-CN" },
        { "", "zh-CN" },
        { "_-_--", "zh-CN" },
        { "sr-Latn-RS", "zh-CN" },
        { "__de__CH__", "de-CH" },
    };
    for (const auto& [identifier, tag] : table) {
        EXPECT_EQ(LocaleNormalizer::resolveBCP47(QString::fromUtf8(identifier)), QLatin1String(tag)) << identifier;
    }
}

TEST(LocaleNormalizerTest, TheSystemLocaleComesFromTheEnvironmentWithoutEncodingOrModifier)
{
    struct Row {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* identifier;
        const char* tag;
    };
    const Row rows[] = {
        { nullptr, nullptr, "de_AT.UTF-8", "de_AT", "de-AT" },
        { nullptr, nullptr, "sr_RS@latin", "sr_RS", "zh-CN" },
        { nullptr, nullptr, "ca_ES.UTF-8@valencia", "ca_ES", "zh-CN" },
        { nullptr, nullptr, "uk_UA.koi8u", "uk_UA", "uk-UA" },
        { nullptr, nullptr, "pt_BR.utf8", "pt_BR", "pt-BR" },
        { nullptr, nullptr, "fr.UTF-8", "fr", "fr-FR" },
        { nullptr, nullptr, "C.UTF-8", "C", "zh-CN" },
        { nullptr, "ja_JP.UTF-8", "en_US.UTF-8", "ja_JP", "ja-JP" },
        { "sv_FI.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8", "sv_FI", "sv-FI" },
        { "", "", "ko_KR.EUC-KR", "ko_KR", "ko-KR" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.identifier);
        QProcessEnvironment environment;
        for (const auto& [name, value] : { std::pair { "LC_ALL", row.lcAll },
                 std::pair { "LC_MESSAGES", row.lcMessages }, std::pair { "LANG", row.lang } }) {
            if (value) {
                environment.insert(QLatin1String(name), QLatin1String(value));
            }
        }
        const QString identifier = LocaleNormalizer::platformLocaleIdentifier(environment);
        EXPECT_EQ(identifier, QLatin1String(row.identifier));
        EXPECT_EQ(LocaleNormalizer::resolveBCP47(identifier), QLatin1String(row.tag));
    }
}

TEST(LocaleNormalizerTest, TheStoredSettingWinsUnlessItFollowsTheSystem)
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    const QString key = QStringLiteral("settings.voice.locale");
    struct Row {
        QJsonValue stored;
        const char* platform;
        const char* tag;
    };
    const QJsonValue missing(QJsonValue::Undefined);
    const Row rows[] = {
        { missing, "en_US", "en-US" },
        { QStringLiteral("system"), "en_US", "en-US" },
        { QStringLiteral(""), "en_US", "en-US" },
        { QStringLiteral("ja-JP"), "en_US", "ja-JP" },
        { QStringLiteral("pt"), "de_AT", "pt-BR" },
        { QStringLiteral("klingon"), "de_AT", "zh-CN" },
        // Not a text: the setting is as good as absent.
        { 42, "de_AT", "de-AT" },
        { missing, "", "zh-CN" },
    };
    for (const Row& row : rows) {
        defaults.setValue(key, row.stored);
        EXPECT_EQ(LocaleNormalizer::effectiveLocale(defaults, QLatin1String(row.platform)), QLatin1String(row.tag))
            << row.stored.toVariant().toString().toStdString() << " / " << row.platform;
    }
}

} // namespace
} // namespace murmeli::voice
