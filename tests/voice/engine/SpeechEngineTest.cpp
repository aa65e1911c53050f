#include "main/voice/engine/SpeechEngine.h"
#include "tests/support/FakeClock.h"

#include <memory>
#include <optional>

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

class SpeechEngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // A fresh store over the same file, as the next start of the program sees it.
    platform::Defaults& reopenDefaults()
    {
        m_defaults = std::make_unique<platform::Defaults>(m_dir.filePath(QStringLiteral("defaults.json")));
        return *m_defaults;
    }

    platform::Defaults& defaults() { return m_defaults ? *m_defaults : reopenDefaults(); }

    std::unique_ptr<SpeechEngine> engine()
    {
        return std::make_unique<SpeechEngine>(defaults(), m_clock, [] { return QStringLiteral("de_AT"); });
    }

    QTemporaryDir m_dir;
    std::unique_ptr<platform::Defaults> m_defaults;
    test::FakeClock m_clock;
};

TEST_F(SpeechEngineTest, TheStoredBackendLoadsByTheMigrationRules)
{
    struct Row {
        std::optional<QJsonValue> stored;
        QString active;
        QJsonValue storedAfterwards;
        bool migratedFlag;
    };
    const QJsonValue missing(QJsonValue::Undefined);
    const Row rows[] = {
        { std::nullopt, QStringLiteral("murmeli-cloud"), missing, false },
        { QJsonValue(QStringLiteral("aliyun-qwen3")), QStringLiteral("murmeli-cloud"), QStringLiteral("murmeli-cloud"),
            true },
        { QJsonValue(QStringLiteral("aliyun")), QStringLiteral("murmeli-cloud"), QStringLiteral("murmeli-cloud"),
            true },
        { QJsonValue(QStringLiteral("whisper-local")), QStringLiteral("murmeli-cloud"), QStringLiteral("whisper-local"),
            false },
        { QJsonValue(7), QStringLiteral("murmeli-cloud"), QJsonValue(7), false },
        { QJsonValue(QStringLiteral("apple-stt")), QStringLiteral("apple-stt"), QStringLiteral("apple-stt"), false },
        { QJsonValue(QStringLiteral("cloud-streaming")), QStringLiteral("cloud-streaming"),
            QStringLiteral("cloud-streaming"), false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored ? row.stored->toVariant().toString().toStdString() : "(missing)");
        platform::Defaults& store = reopenDefaults();
        store.remove(QStringLiteral("speechBackendId"));
        store.remove(QStringLiteral("settings.voice.aliyunMigrated"));
        if (row.stored) {
            store.setValue(QStringLiteral("speechBackendId"), *row.stored);
        }
        EXPECT_EQ(engine()->activeBackendId(), row.active);
        EXPECT_EQ(store.value(QStringLiteral("speechBackendId")), row.storedAfterwards);
        EXPECT_EQ(store.boolValue(QStringLiteral("settings.voice.aliyunMigrated")).value_or(false), row.migratedFlag);
    }
}

TEST_F(SpeechEngineTest, TheEffectiveBackendAndItsNameFollowTheChoiceAndTheStreamingPreference)
{
    struct Row {
        const char* active;
        QJsonValue preferStreaming;
        const char* effective;
        const char* description;
    };
    const QJsonValue missing(QJsonValue::Undefined);
    const Row rows[] = {
        { "murmeli-cloud", missing, "cloud-streaming", "murmeli Cloud (streaming)" },
        { "murmeli-cloud", true, "cloud-streaming", "murmeli Cloud (streaming)" },
        { "murmeli-cloud", false, "murmeli-cloud", "murmeli Cloud" },
        // Only a boolean counts; anything else reads as the default, streaming.
        { "murmeli-cloud", QStringLiteral("no"), "cloud-streaming", "murmeli Cloud (streaming)" },
        { "apple-stt", missing, "apple-stt", "Apple STT (de_AT)" },
        { "cloud-streaming", false, "cloud-streaming", "murmeli Cloud (streaming)" },
        // Set at run time without a check: the name falls back to the id.
        { "someday-backend", missing, "someday-backend", "someday-backend" },
    };
    const auto speech = engine();
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.active) + " / " + row.preferStreaming.toVariant().toString().toStdString());
        defaults().setValue(QStringLiteral("settings.voice.preferStreaming"), row.preferStreaming);
        speech->setActiveBackendId(QString::fromLatin1(row.active));
        EXPECT_EQ(speech->effectiveBackendId(), QLatin1String(row.effective));
        EXPECT_EQ(speech->backendDescription(), QLatin1String(row.description));
    }
}

TEST_F(SpeechEngineTest, ChoicesAreWrittenOnEverySetAndLoadAtTheNextStart)
{
    {
        const auto speech = engine();
        EXPECT_EQ(speech->activeMicSource(), "local");
        EXPECT_EQ(speech->enterMode(), EnterMode::Auto);
        speech->setActiveBackendId(QStringLiteral("apple-stt"));
        speech->setAudioProfile(AudioProfile::Ble);
        speech->setEnterMode(EnterMode::Never);
        speech->setPreferStreaming(false);
    }
    EXPECT_EQ(reopenDefaults().stringValue(QStringLiteral("micSource")), QStringLiteral("ble"));
    EXPECT_EQ(defaults().stringValue(QStringLiteral("enterMode")), QStringLiteral("never"));
    const auto speech = engine();
    EXPECT_EQ(speech->activeBackendId(), "apple-stt");
    EXPECT_EQ(speech->activeMicSource(), "ble");
    EXPECT_EQ(speech->enterMode(), EnterMode::Never);
    EXPECT_FALSE(speech->preferStreaming());

    speech->setAudioProfile(AudioProfile::Mac);
    EXPECT_EQ(defaults().stringValue(QStringLiteral("micSource")), QStringLiteral("local"));
    // Any stored source is kept as it is.
    defaults().setValue(QStringLiteral("micSource"), QStringLiteral("usb-headset"));
    EXPECT_EQ(engine()->activeMicSource(), "usb-headset");
}

TEST_F(SpeechEngineTest, TheEnterModeLoadsCaseSensitivelyAndAutoSendsEnterAfterShortTakes)
{
    struct Row {
        QJsonValue stored;
        EnterMode mode;
    };
    const Row rows[] = {
        { QStringLiteral("always"), EnterMode::Always },
        { QStringLiteral("never"), EnterMode::Never },
        { QStringLiteral("auto"), EnterMode::Auto },
        { QStringLiteral("ALWAYS"), EnterMode::Auto },
        { QStringLiteral("sometimes"), EnterMode::Auto },
        { true, EnterMode::Auto },
    };
    for (const Row& row : rows) {
        defaults().setValue(QStringLiteral("enterMode"), row.stored);
        EXPECT_EQ(engine()->enterMode(), row.mode) << row.stored.toVariant().toString().toStdString();
    }

    struct Take {
        EnterMode mode;
        double seconds;
        bool sendsEnter;
    };
    const Take takes[] = {
        { EnterMode::Auto, 0, true },
        { EnterMode::Auto, 3.0, true },
        { EnterMode::Auto, 3.01, false },
        { EnterMode::Always, 42, true },
        { EnterMode::Never, 0.5, false },
    };
    const auto speech = engine();
    for (const Take& take : takes) {
        speech->setEnterMode(take.mode);
        speech->setLastRecordDuration(take.seconds);
        EXPECT_EQ(speech->shouldSendEnter(), take.sendsEnter) << toString(take.mode).toStdString() << take.seconds;
    }
}

TEST_F(SpeechEngineTest, CustomHotwordsAreTrimmedDeduplicatedAndCapped)
{
    const auto speech = engine();
    EXPECT_TRUE(speech->customHotwords().isEmpty());

    speech->setCustomHotwords({ QStringLiteral("  kubectl "), QStringLiteral("kubectl"), QStringLiteral(""),
        QStringLiteral("   "), QStringLiteral("QCoro\n"), QStringLiteral("qcoro"), QStringLiteral("Caf\u00e9"),
        QStringLiteral("Cafe\u0301") });
    EXPECT_EQ(speech->customHotwords(),
        (QStringList { QStringLiteral("kubectl"), QStringLiteral("QCoro"), QStringLiteral("qcoro"),
            QStringLiteral("Caf\u00e9") }));

    QStringList many;
    for (int i = 0; i < 150; ++i) {
        many.append(QStringLiteral("term%1").arg(i));
    }
    speech->setCustomHotwords(many);
    EXPECT_EQ(speech->customHotwords(), many.first(100));

    // A list holding anything but texts is not the user's list.
    defaults().setValue(QStringLiteral("settings.voice.customHotwords"), QJsonArray { QStringLiteral("ok"), 3 });
    EXPECT_TRUE(speech->customHotwords().isEmpty());
    defaults().setValue(QStringLiteral("settings.voice.customHotwords"), QStringLiteral("kubectl"));
    EXPECT_TRUE(speech->customHotwords().isEmpty());
}

TEST_F(SpeechEngineTest, TheCloudStateStartsUnknownAtTheConfiguredWorkerAndResets)
{
    const QByteArray previous = qgetenv("MURMELI_CLOUD_URL");
    qputenv("MURMELI_CLOUD_URL", "http://127.0.0.1:8787/");
    const auto local = engine();
    qunsetenv("MURMELI_CLOUD_URL");
    const auto standard = engine();
    if (!previous.isNull()) {
        qputenv("MURMELI_CLOUD_URL", previous);
    }
    EXPECT_EQ(local->cloudWorkerURL(), "http://127.0.0.1:8787");
    EXPECT_EQ(standard->cloudWorkerURL(), "https://api.murmeli.cloud");

    EXPECT_EQ(standard->cloudMinutesLeft(), -1);
    EXPECT_TRUE(standard->cloudToken().isEmpty());
    EXPECT_EQ(standard->pendingContext().locale(), "zh-CN");
    standard->setCloudToken(QStringLiteral("token-1"));
    standard->setCloudMinutesLeft(120);
    standard->resetCloudState();
    EXPECT_TRUE(standard->cloudToken().isEmpty());
    EXPECT_EQ(standard->cloudMinutesLeft(), -1);
}

} // namespace
} // namespace murmeli::voice
