#include "main/common/LogWriter.h"

#include <gtest/gtest.h>

#include "tests/support/FullPipe.h"

namespace murmeli::common {
namespace {

// The messages of the lines, past the time stamp and the level word.
QStringList messagesOf(const QByteArray& output)
{
    QStringList messages;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.isEmpty()) {
            messages << QString::fromUtf8(line.mid(30));
        }
    }
    return messages;
}

TEST(LogWriter, StuckOutputCostsLinesNotWaitsAndTheGapIsCounted)
{
    test::FullPipe pipe;
    LogWriter writer(pipe.writeEnd(), false, 4096);
    constexpr int lines = 1000;
    for (int i = 0; i < lines; ++i) {
        writer.write(QStringLiteral("line %1").arg(i), LogColor::Grey);
    }
    const int dropped = static_cast<int>(writer.droppedTotal());
    EXPECT_GT(dropped, 0);

    // Once the reader takes it all, the count follows the lines that fitted, and later lines follow the count.
    QByteArray output = pipe.readUntil([&] { return writer.flush(10); });
    writer.write(QStringLiteral("after"), LogColor::Grey);
    output += pipe.readUntil([&] { return writer.flush(10); });
    QStringList expected;
    for (int i = 0; i < lines - dropped; ++i) {
        expected << QStringLiteral("line %1").arg(i);
    }
    expected << QStringLiteral("log: %1 lines dropped").arg(dropped) << QStringLiteral("after");
    EXPECT_EQ(messagesOf(output), expected);
}

} // namespace
} // namespace murmeli::common
