#include "main/common/ProcessEnd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

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
