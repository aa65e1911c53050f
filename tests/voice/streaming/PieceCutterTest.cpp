#include "main/voice/streaming/PieceCutter.h"

#include <vector>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

// Bytes that tell their position, so a piece cut from the wrong place cannot pass for the right one.
QByteArray counting(qsizetype from, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((from + i) * 7 % 251);
    }
    return bytes;
}

TEST(PieceCutterTest, CutsWholePiecesAsTheyCompleteAndHoldsTheRestBack)
{
    struct Row {
        std::vector<qsizetype> appends;
        std::vector<int> piecesAfterEach;
        qsizetype pendingAtEnd;
    };
    const Row rows[] = {
        { { 3199 }, { 0 }, 3199 },
        { { 3199, 1 }, { 0, 1 }, 0 },
        { { 6500 }, { 2 }, 100 },
        { { 1000, 1000, 1000, 1000 }, { 0, 0, 0, 1 }, 800 },
        { { 3200, 3200 }, { 1, 1 }, 0 },
        { { 0 }, { 0 }, 0 },
    };
    for (const Row& row : rows) {
        PieceCutter cutter;
        QByteArray sent;
        QByteArray cut;
        for (std::size_t i = 0; i < row.appends.size(); ++i) {
            const QByteArray pcm = counting(sent.size(), row.appends[i]);
            sent.append(pcm);
            const QList<QByteArray> pieces = cutter.append(pcm);
            EXPECT_EQ(pieces.size(), row.piecesAfterEach[i]) << "append " << i;
            for (const QByteArray& piece : pieces) {
                EXPECT_EQ(piece.size(), PieceCutter::pieceBytes);
                cut.append(piece);
            }
        }
        EXPECT_EQ(cutter.pendingBytes(), row.pendingAtEnd);
        // Pieces and tail together are the input, in order; the whole take is kept besides.
        cut.append(cutter.takeTail());
        EXPECT_EQ(cut, sent);
        EXPECT_EQ(cutter.takeAll(), sent);
        EXPECT_EQ(cutter.pendingBytes(), 0);
        EXPECT_EQ(cutter.totalBytes(), 0);
    }
}

} // namespace
} // namespace murmeli::voice
