#include "main/voice/preferences/AppSettingsCache.h"

#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMutex>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "main/voice/preferences/AppSettingsLoader.h"
#include "tests/support/Files.h"

namespace murmeli::voice {

namespace {

AppSettings settingsWith(qint64 version, std::optional<QString> promptTemplate)
{
    AppSettings settings;
    settings.version = version;
    settings.enhance.promptTemplate = std::move(promptTemplate);
    return settings;
}

TEST(AppSettingsTest, TheFileIsDecodedStrictlyByType)
{
    struct Row {
        const char* json;
        std::optional<AppSettings> settings;
    };
    const AppSettings defaults = AppSettings::defaults();
    const Row rows[] = {
        { "{}", defaults },
        { R"({"version": null, "enhance": null})", defaults },
        { R"({"enhance": {}})", defaults },
        { R"({"enhance": {"prompt_template": null}})", defaults },
        { R"({"enhance": {"prompt_template": ""}})", settingsWith(1, QString()) },
        { R"({"version": 2, "enhance": {"prompt_template": "Fix {text}"}})",
            settingsWith(2, QStringLiteral("Fix {text}")) },
        { R"({"version": -3, "other": [1], "enhance": {"prompt_template": "x", "extra": true}})",
            settingsWith(-3, QStringLiteral("x")) },
        { R"({"version": 2.0})", settingsWith(2, std::nullopt) },
        { R"({"version": "2"})", std::nullopt },
        { R"({"version": 1.5})", std::nullopt },
        { R"({"version": 1e300})", std::nullopt },
        { R"({"enhance": "polish"})", std::nullopt },
        { R"({"enhance": {"prompt_template": 5}})", std::nullopt },
        { R"({"enhance": {"prompt_template": ["a"]}})", std::nullopt },
        { R"([{"version": 1}])", std::nullopt },
        { "not json", std::nullopt },
        { "", std::nullopt },
    };
    for (const Row& row : rows) {
        QString problem;
        const std::optional<AppSettings> parsed = AppSettingsLoader::parse(QByteArray(row.json), &problem);
        EXPECT_EQ(parsed, row.settings) << row.json;
        EXPECT_EQ(problem.isEmpty(), row.settings.has_value()) << row.json;
    }
}

TEST(AppSettingsTest, TheDefaultContentIsSixLinesThatDecodeToTheDefaultsAndSettingsRoundTrip)
{
    const QByteArray content(AppSettingsLoader::defaultFileContent);
    EXPECT_EQ(content.size(), 66);
    EXPECT_EQ(content.count('\n'), 5);
    EXPECT_EQ(AppSettingsLoader::parse(content), AppSettings::defaults());

    for (const AppSettings& settings : { AppSettings::defaults(), settingsWith(3, QStringLiteral("Polish: {text}")) }) {
        const QByteArray encoded = QJsonDocument(settings.toJson()).toJson();
        EXPECT_EQ(AppSettingsLoader::parse(encoded), settings) << encoded.constData();
    }
    // No template, no key: the file stays free of a null the user did not write.
    EXPECT_EQ(AppSettings::defaults().toJson().value(QStringLiteral("enhance")).toObject().size(), 0);
}

class AppSettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_home.isValid()); }

    QString path() const { return AppSettingsLoader::configPath(m_home.path()); }

    void write(const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir(m_home.path()).mkpath(QStringLiteral(".murmeli")));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir m_home;
    QStringList m_lines;
    AppSettingsLoader::LogLine m_log = [this](const QString& line) { m_lines.append(line); };
};

TEST_F(AppSettingsFileTest, AMissingFileGivesTheDefaultsSilently)
{
    EXPECT_EQ(path(), m_home.path() + QStringLiteral("/.murmeli/settings.json"));
    EXPECT_EQ(AppSettingsLoader::load(path(), m_log), AppSettings::defaults());
    // A folder where the file should be cannot be read either.
    ASSERT_TRUE(QDir().mkpath(path()));
    EXPECT_EQ(AppSettingsLoader::load(path(), m_log), AppSettings::defaults());
    EXPECT_TRUE(m_lines.isEmpty());
}

TEST_F(AppSettingsFileTest, AnUnusableFileGivesTheDefaultsWithOneLineAndIsLeftAsItIs)
{
    const QByteArray broken = R"({"version": "two", "enhance": {"prompt_template": "keep me"}})";
    write(broken);
    EXPECT_EQ(AppSettingsLoader::load(path(), m_log), AppSettings::defaults());
    ASSERT_EQ(m_lines.size(), 1);
    EXPECT_TRUE(m_lines.first().startsWith(QStringLiteral("[app-settings] failed to parse ") + path() + ": "));
    EXPECT_TRUE(m_lines.first().endsWith(QStringLiteral(" — using defaults")));
    EXPECT_EQ(test::readFile(path()), broken);

    m_lines.clear();
    write(QByteArray(AppSettingsLoader::maxFileBytes + 1, ' '));
    EXPECT_EQ(AppSettingsLoader::load(path(), m_log), AppSettings::defaults());
    ASSERT_EQ(m_lines.size(), 1);
    EXPECT_TRUE(m_lines.first().contains(QStringLiteral("larger than")));
}

TEST_F(AppSettingsFileTest, TheCacheReadsTheFileOnceForEveryThread)
{
    write(R"({"version": 4, "enhance": {"prompt_template": "first"}})");
    AppSettingsCache cache(path());
    EXPECT_EQ(cache.snapshot(), settingsWith(4, QStringLiteral("first")));
    write(R"({"version": 5, "enhance": {"prompt_template": "second"}})");
    EXPECT_EQ(cache.snapshot(), settingsWith(4, QStringLiteral("first")));
    // Another cache is another reader: it sees the file as it is now.
    EXPECT_EQ(AppSettingsCache(path()).snapshot(), settingsWith(5, QStringLiteral("second")));

    // Readers racing for the first snapshot of a broken file: one load, one line, one answer.
    write("{broken");
    AppSettingsCache raced(path());
    QMutex linesMutex;
    QStringList lines;
    std::vector<AppSettings> seen(8);
    std::vector<std::thread> readers;
    for (size_t i = 0; i < seen.size(); ++i) {
        readers.emplace_back([&, i] {
            seen[i] = raced.snapshot([&](const QString& line) {
                const QMutexLocker locker(&linesMutex);
                lines.append(line);
            });
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(lines.size(), 1);
    for (const AppSettings& settings : seen) {
        EXPECT_EQ(settings, AppSettings::defaults());
    }
}

} // namespace
} // namespace murmeli::voice
