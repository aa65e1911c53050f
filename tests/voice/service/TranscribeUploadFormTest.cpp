#include "main/voice/service/TranscribeUploadForm.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "main/voice/context/STTContext.h"

namespace murmeli::voice {

namespace {

TEST(TranscribeUploadFormTest, BoundaryIsFreshUpperCaseUuid)
{
    const QRegularExpression shape(
        QStringLiteral("^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QString first = TranscribeUploadForm::newBoundary();
    const QString second = TranscribeUploadForm::newBoundary();
    EXPECT_TRUE(shape.match(first).hasMatch()) << first.toStdString();
    EXPECT_TRUE(shape.match(second).hasMatch()) << second.toStdString();
    EXPECT_NE(first, second);
}

TEST(TranscribeUploadFormTest, ContextCarriesToolFilesAndCostOnly)
{
    const QByteArray json = TranscribeUploadForm::contextJson(
        STTContext(QStringLiteral("Bash"), { QStringLiteral("main.cpp"), QStringLiteral("读我.md") }, 1.25,
            { { QStringLiteral("hotword"), 9 } }, QStringLiteral("en-US")));
    EXPECT_FALSE(json.contains('\n')) << "compact, one line";
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(
        object.keys(), (QStringList { QStringLiteral("costUSD"), QStringLiteral("files"), QStringLiteral("tool") }));
    EXPECT_EQ(object.value(QStringLiteral("tool")).toString(), QStringLiteral("Bash"));
    EXPECT_EQ(object.value(QStringLiteral("files")).toArray(),
        QJsonArray({ QStringLiteral("main.cpp"), QStringLiteral("读我.md") }));
    EXPECT_DOUBLE_EQ(object.value(QStringLiteral("costUSD")).toDouble(), 1.25);

    const QJsonObject empty = QJsonDocument::fromJson(TranscribeUploadForm::contextJson(STTContext::empty())).object();
    EXPECT_EQ(empty.value(QStringLiteral("tool")).toString(), QString());
    EXPECT_TRUE(empty.value(QStringLiteral("files")).isArray());
    EXPECT_EQ(empty.value(QStringLiteral("costUSD")).toDouble(-1), 0.0);
}

} // namespace
} // namespace murmeli::voice
