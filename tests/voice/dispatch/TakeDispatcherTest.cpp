#include "main/voice/dispatch/TakeDispatcher.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

class TakeDispatcherTest : public ::testing::Test {
protected:
    TakeDispatcher make()
    {
        TakeDispatcher dispatcher(
            TakeDispatcher::Routes {
                [this] { return backend; },
                [this] { return token; },
                [this](const QString& path) { routed.append(QStringLiteral("device ") + path); },
                [this](const QString& path, const std::optional<QByteArray>& wav, const STTContext&) {
                    routed.append(QStringLiteral("cloud %1 %2").arg(path).arg(wav ? wav->size() : -1));
                },
            },
            m_files);
        dispatcher.onResult = [this](const QString& text) { outcomes.append(QStringLiteral("result ") + text); };
        dispatcher.onError = [this](const QString& text) { outcomes.append(QStringLiteral("error ") + text); };
        return dispatcher;
    }

    QTemporaryDir m_dir;
    TakeFiles m_files { m_dir.path() };
    QString backend;
    QString token;
    QStringList routed;
    QStringList outcomes;
};

TEST_F(TakeDispatcherTest, ARecordedTakeIsUploadedOnlyForTheBatchCloudBackendWithAToken)
{
    struct Row {
        const char* backend;
        const char* token;
        const char* route;
    };
    const Row rows[] = {
        { "murmeli-cloud", "tok", "cloud take.wav 4" },
        { "murmeli-cloud", "", "device take.wav" },
        { "cloud-streaming", "tok", "device take.wav" },
        { "apple-stt", "tok", "device take.wav" },
    };
    for (const Row& row : rows) {
        backend = QLatin1String(row.backend);
        token = QLatin1String(row.token);
        routed.clear();
        make().dispatch(QStringLiteral("take.wav"), QByteArray("RIFF"), STTContext());
        EXPECT_EQ(routed, QStringList { QLatin1String(row.route) }) << row.backend << " / " << row.token;
    }
}

TEST_F(TakeDispatcherTest, TheSecondsRuleTranscribesOnlyTakesLongerThanThreeTenths)
{
    EXPECT_FALSE(TakeDispatcher::isLongEnough(0.0));
    EXPECT_FALSE(TakeDispatcher::isLongEnough(0.3));
    EXPECT_TRUE(TakeDispatcher::isLongEnough(0.31));
}

// The fallback with audio is run end to end by the engine's take tests; without audio nothing can be heard again.
TEST_F(TakeDispatcherTest, AFailedStreamingTakeWithoutAudioIsReportedAndRoutedNowhere)
{
    TakeDispatcher dispatcher = make();
    dispatcher.fallback({}, QStringLiteral("no final text"), TakeDispatcher::v3Texts);
    EXPECT_EQ(outcomes, QStringList { QStringLiteral("error v3 streaming STT failed: no final text") });
    EXPECT_TRUE(routed.isEmpty());
}

} // namespace
} // namespace murmeli::voice
