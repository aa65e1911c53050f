#include "main/voice/flow/PTTSessionRouter.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace murmeli::voice {
namespace {

using Kind = PTTSessionRouter::Event::Kind;

TEST(PTTSessionRouterTest, LinesRouteTheDeviceTakeOrAreLoggedAsBroken)
{
    struct Row {
        const char* line;
        std::optional<QString> routedBefore;
        std::optional<PTTSessionRouter::Event> event;
        std::optional<QString> routedAfter;
        const char* log; // nullptr: no log line at all
    };
    const QString abc = QStringLiteral("abc");
    const Row rows[] = {
        { "PT:start,abc", std::nullopt, PTTSessionRouter::Event { Kind::Start, abc }, abc, "PTT P4 → start (sid=abc)" },
        { "PT:start,new", abc, PTTSessionRouter::Event { Kind::Start, "new" }, "new", "PTT P4 → start (sid=new)" },
        { "PT: end , abc ", abc, PTTSessionRouter::Event { Kind::End, abc }, std::nullopt, "PTT P4 → end (sid=abc)" },
        { "PT:cancel,xyz", abc, PTTSessionRouter::Event { Kind::Cancel, "xyz" }, abc, "PTT P4 → cancel (sid=xyz)" },
        { "PT:cancel,abc", abc, PTTSessionRouter::Event { Kind::Cancel, abc }, std::nullopt,
            "PTT P4 → cancel (sid=abc)" },
        { "PT:start,a,b", std::nullopt, PTTSessionRouter::Event { Kind::Start, "a,b" }, "a,b",
            "PTT P4 → start (sid=a,b)" },
        { "PT:start,\tid\n", std::nullopt, PTTSessionRouter::Event { Kind::Start, "id\n" }, "id\n",
            "PTT P4 → start (sid=id\n)" },
        { "PT:start", abc, std::nullopt, abc, "PTT: malformed PT frame: PT:start" },
        { "PT:start,", abc, std::nullopt, abc, "PTT: missing session_id in PT:start," },
        { "PT:start,  \t", abc, std::nullopt, abc, "PTT: missing session_id in PT:start,  \t" },
        { "PT:START,abc", abc, std::nullopt, abc, "PTT: unknown PT event 'START' in PT:START,abc" },
        { "PT:,abc", abc, std::nullopt, abc, "PTT: unknown PT event '' in PT:,abc" },
        { "AR:1,allow", abc, std::nullopt, abc, nullptr },
        { "pt:start,abc", abc, std::nullopt, abc, nullptr },
        { " PT:start,abc", abc, std::nullopt, abc, nullptr },
    };
    for (const Row& row : rows) {
        PTTSessionRouter router;
        if (row.routedBefore) {
            router.handleControlFrame(QStringLiteral("PT:start,") + *row.routedBefore);
        }
        QStringList logs;
        std::vector<PTTSessionRouter::Event> events;
        router.onLog = [&](const QString& line) { logs << line; };
        router.onEvent = [&](const PTTSessionRouter::Event& event) { events.push_back(event); };

        router.handleControlFrame(QString::fromUtf8(row.line));

        EXPECT_EQ(router.routedSessionId(), row.routedAfter) << row.line;
        ASSERT_EQ(events.size(), row.event ? 1u : 0u) << row.line;
        if (row.event) {
            EXPECT_EQ(events.front(), *row.event) << row.line;
        }
        EXPECT_EQ(logs, row.log ? QStringList { QString::fromUtf8(row.log) } : QStringList {}) << row.line;
    }
}

} // namespace
} // namespace murmeli::voice
