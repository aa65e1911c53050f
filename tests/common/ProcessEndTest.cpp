#include "main/common/ProcessEnd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "main/common/Log.h"

namespace {

// Stands for a library's static object, such as Qt Multimedia's sound-server engine, whose teardown at exit races a
// thread of its own.
struct LibraryStatic {
    ~LibraryStatic() { std::fputs("library teardown ran\n", stderr); }
};

[[noreturn]] void endAfterUsingTheLibrary(int status)
{
    static LibraryStatic engine;
    // Held back in the stream's buffer until something flushes it.
    static char buffer[256];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    std::fputs("last words\n", stderr);
    murmeli::common::endProcess(status);
}

} // namespace

// murmeli and the tests end with their own objects gone and without the libraries' static teardown, keeping the
// status and what they printed.
TEST(ProcessEndTest, EndsWithTheStatusAndWhatWasPrintedButNoLibraryTeardown)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using ::testing::AllOf;
    using ::testing::HasSubstr;
    using ::testing::Not;
    for (const int status : { 0, 3 }) {
        EXPECT_EXIT(endAfterUsingTheLibrary(status), ::testing::ExitedWithCode(status),
            AllOf(HasSubstr("last words"), Not(HasSubstr("library teardown ran"))))
            << "status " << status;
    }
}

// The log's lines wait in a queue of their own for a thread to write them; the end writes them first, so the last
// line (why murmeli ended) is never lost.
TEST(ProcessEndTest, TheLogsQueuedLinesAreWrittenBeforeTheEnd)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const int lines : { 1, 2000 }) {
        EXPECT_EXIT(
            {
                for (int line = 1; line <= lines; ++line) {
                    murmeli::common::writeToStderr(
                        QStringLiteral("line %1 of %2").arg(line).arg(lines), murmeli::common::LogColor::Grey);
                }
                murmeli::common::endProcess(0);
            },
            ::testing::ExitedWithCode(0),
            ::testing::HasSubstr(QStringLiteral("line %1 of %1\n").arg(lines).toStdString()))
            << lines << " line(s)";
    }
}
