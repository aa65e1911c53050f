#include "main/hooks/terminals/ProcessTable.h"

#include <vector>

#include <QCoreApplication>

#include <QCoroTask>
#include <gtest/gtest.h>
#include <unistd.h>

namespace murmeli::hooks {
namespace {

// A table taken from a partial or failed listing would make running agents look gone.
TEST(ProcessTableTest, OnlyACompleteListingMakesATable)
{
    struct Case {
        const char* what;
        QByteArray output;
        int exitCode; // -1: ps did not start
        bool timedOut;
        bool truncated;
        bool table;
    };
    const std::vector<Case> cases {
        { "a listing", "1 0 ? init\n  2 1 pts/0 bash\n", 0, false, false, true },
        { "ps failed", "1 0 ? init\n", 1, false, false, false },
        { "ps did not start", "", -1, false, false, false },
        { "stopped at the time limit", "1 0 ? init\n", 0, true, false, false },
        { "cut short", "1 0 ? init\n", 0, false, true, false },
        { "not UTF-8", "1 0 ? in\xffit\n", 0, false, false, false },
        { "no process in it", "\n garbage\n", 0, false, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        common::ProcessRequest asked;
        const auto table = QCoro::waitFor(
            ProcessTable::readAsync([&](common::ProcessRequest request) -> QCoro::Task<common::ProcessResult> {
                asked = std::move(request);
                common::ProcessResult result;
                result.started = c.exitCode >= 0;
                result.exitCode = c.exitCode;
                result.timedOut = c.timedOut;
                result.outputTruncated = c.truncated;
                result.standardOutput = c.output;
                co_return result;
            }));
        EXPECT_EQ(table.has_value(), c.table);
        EXPECT_EQ(asked.arguments, ProcessTable::psArguments());
        EXPECT_EQ(asked.timeout.count(), ProcessTable::timeLimitMs);
    }
}

TEST(ProcessTableTest, RealListingHoldsThisProcessWithItsParent)
{
    const auto table = QCoro::waitFor(ProcessTable::readAsync());
    ASSERT_TRUE(table.has_value());
    const ProcessRow* self = table->find(QString::number(QCoreApplication::applicationPid()));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->ppid, QString::number(::getppid()));
    EXPECT_TRUE(self->command.contains(QCoreApplication::applicationName()));
}

} // namespace
} // namespace murmeli::hooks
