#include "main/app/shell/EndSignals.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>

namespace {

// Sends murmeli the signals in turn, each handed to the main thread's event loop before the next, and says what the
// main thread was handed; a signal that ends the process on the spot ends the child here.
[[noreturn]] void sendInTurn(const std::vector<int>& signals)
{
    murmeli::app::EndSignals endSignals;
    int handed = 0;
    endSignals.onSignal = [&handed](int) { ++handed; };
    for (const int signal : signals) {
        ::raise(signal);
        QCoreApplication::processEvents();
    }
    std::fprintf(stderr, "handed %d, still running\n", handed);
    ::_exit(0);
}

} // namespace

// A logout, a service manager or an impatient user may send the same signal twice: murmeli goes on ending in order
// (the main thread is handed both). Only the third of a kind ends it at once, should its main thread be stuck.
TEST(EndSignalsTest, ASecondSignalOfAKindLeavesTheEndInOrderAndTheThirdEndsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Row {
        std::vector<int> signals;
        int endsOn; // 0: murmeli goes on, and the main thread is handed them all
    };
    const Row rows[] = {
        { { SIGTERM, SIGTERM }, 0 },
        { { SIGINT, SIGINT }, 0 },
        { { SIGHUP, SIGHUP }, 0 },
        { { SIGTERM, SIGINT, SIGHUP, SIGTERM, SIGINT, SIGHUP }, 0 },
        { { SIGTERM, SIGTERM, SIGTERM }, SIGTERM },
        { { SIGHUP, SIGINT, SIGHUP, SIGHUP }, SIGHUP },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.signals));
        if (row.endsOn == 0) {
            const std::string handed = "handed " + std::to_string(row.signals.size()) + ", still running";
            EXPECT_EXIT(sendInTurn(row.signals), ::testing::ExitedWithCode(0), ::testing::HasSubstr(handed));
        } else {
            EXPECT_EXIT(sendInTurn(row.signals), ::testing::KilledBySignal(row.endsOn), "");
        }
    }
}
