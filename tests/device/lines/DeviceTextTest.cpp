// A tool's name on its way to the device and its speaker: the prompt, the status line, the event line and the spoken
// phrases show a control in it as an escape, and cut the name only between two characters.

#include "main/device/lines/DeviceText.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include "main/device/approvals/BLEApprovalFraming.h"
#include "main/device/lines/AgentEvents.h"
#include "main/device/lines/HostLines.h"
#include "main/device/lines/SessionDisplay.h"
#include "main/device/tts/TTSPrompt.h"
#include "tests/support/ShownText.h"

using namespace murmeli;

TEST(DeviceTextTest, AToolsNameShowsItsControlsAsEscapesAndIsCutOnlyBetweenCharacters)
{
    const struct {
        QString name;
        /// What of the name each text shows, from its start.
        QString written;
    } rows[] = {
        { QStringLiteral("\u202Eexe.sh\x1b"), QStringLiteral("\\u202eexe.sh\\x1b") },
        { QStringLiteral("\U0001F1E9\U0001F1EA").repeated(40), QStringLiteral("\U0001F1E9\U0001F1EA").repeated(40) },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.written.toStdString());
        hooks::ApprovalRequest request;
        request.toolUseId = QStringLiteral("tu-1");
        request.toolName = row.name;
        // What another tool's request previews is its name.
        request.commandPreview = row.name;
        const QString prompt = device::BLEApprovalFraming::buildQuery(request, 0);
        // What a session last did is another tool's name too.
        hooks::ClaudeStatus did;
        did.activity = row.name;
        const QString status = device::SessionDisplay::oledCommand(did, row.name).mid(2);
        const auto event = device::AgentEvents::forHookEvent(
            QStringLiteral("PostToolUseFailure"), QJsonObject { { "tool_name", row.name } });
        ASSERT_TRUE(event);
        const QString eventLine = device::HostLines::event(event->type, QString(), event->summary);
        const QString tool = eventLine.section(u'|', 1).mid(2);
        const QString spoken = device::TTSPrompt::forApproval(row.name, QString()).section(QStringLiteral(". "), 1);
        EXPECT_FALSE(test::holdsLiveControls(device::TTSPrompt::forApproval(row.name, row.name)));
        for (const QString& shown : { prompt.section(u',', 1, 1), prompt.section(u',', 2, 2),
                 status.section(u',', 8, 8), status.section(u',', 9, 9), tool, spoken }) {
            EXPECT_FALSE(shown.isEmpty());
            EXPECT_FALSE(test::holdsLiveControls(shown)) << shown.toStdString();
            EXPECT_TRUE(test::cutBetweenCharacters(row.written, shown)) << shown.toStdString();
        }
    }
}
