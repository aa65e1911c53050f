#include "main/device/link/OutgoingLines.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "main/device/approvals/BLEApprovalBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "tests/device/support/FakeDevice.h"
#include "tests/support/TaskResult.h"

using namespace murmeli;
using device::OutgoingLines;

namespace {

QStringList withTag(const QStringList& lines, const char* tag)
{
    return lines.filter(QRegularExpression(QLatin1Char('^') + QLatin1String(tag)));
}

} // namespace

// A status file may say anything: a model name of 200,000 characters once took 10,059 writes and held the approval
// prompt behind them for seconds. Lines are cut, and the prompt passes every status line still waiting.
TEST(OutgoingLinesTest, HugeStatusTextGivesBoundedLinesAndTheApprovalPromptPassesWaitingLines)
{
    test::FakeDevice device;
    hooks::PendingRequestTable table { device.clock };
    const auto bridge = device::BLEApprovalBridge::overLink(*device.link, table);
    table.onActivate = [&](hooks::ApprovalRequest request) { return bridge->requestApproval(std::move(request)); };
    ASSERT_TRUE(device.connect());
    device.takeLines();

    hooks::ClaudeStatus status;
    status.model = QString(200000, QLatin1Char('m'));
    status.sessionId = QStringLiteral("s-0");
    // One user-perceived character of 5,001 code points: any character limit lets it through whole.
    status.activity = QLatin1Char('e') + QString(5000, QChar(0x0301));
    const auto writesBefore = device.transport->writes().size();
    device.link->lines().sendStatusFull(status, {}, 0, 0, 0, 0);
    const QStringList burst = device.takeLines();
    ASSERT_EQ(burst.size(), 4);
    EXPECT_EQ(burst.at(2), QStringLiteral("M:") + QString(32, QLatin1Char('m')));
    for (const QString& line : burst) {
        EXPECT_LE(line.toUtf8().size(), OutgoingLines::maxLineBytes) << line.left(20).toStdString();
    }
    EXPECT_LE(device.transport->writes().size() - writesBefore, std::size_t { OutgoingLines::writesPerWindow });

    // More status than the radio takes in one window: the rest waits, each kind once.
    status.activity = QStringLiteral("Running the tests");
    for (int i = 1; i <= 10; ++i) {
        status.model = QStringLiteral("model-%1").arg(i);
        status.sessionId = QStringLiteral("s-%1").arg(i);
        device.link->lines().sendStatusFull(status, {}, 0, 0, 0, 0);
    }
    device.link->send(QStringLiteral("SD:x,working,old"));
    device.link->send(QStringLiteral("SD:y,idle,y"));
    device.link->send(QStringLiteral("SD:x,working,new"));
    device.takeLines();

    hooks::ApprovalRequest request;
    request.toolUseId = QStringLiteral("tu-1");
    request.toolName = QStringLiteral("Bash");
    request.commandPreview = QStringLiteral("make");
    const auto decision = test::keepResult(table.enqueue(request));
    EXPECT_EQ(device.takeLines(), QStringList { QStringLiteral("Q:tu-1,Bash,make") });
    EXPECT_FALSE(*decision);

    device.clock.advance(OutgoingLines::windowMs);
    const QStringList waited = device.takeLines();
    EXPECT_EQ(withTag(waited, "L:").size(), 1);
    EXPECT_EQ(withTag(waited, "D:").size(), 1);
    EXPECT_EQ(withTag(waited, "M:"), QStringList { QStringLiteral("M:model-10") });
    EXPECT_EQ(withTag(waited, "S:"), QStringList { QStringLiteral("S:s-10") });
    EXPECT_EQ(
        withTag(waited, "SD:"), (QStringList { QStringLiteral("SD:x,working,new"), QStringLiteral("SD:y,idle,y") }));
    table.resolve(request.toolUseId, hooks::ApprovalDecision::deny());
}
