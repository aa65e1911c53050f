#include "main/voice/streaming/PieceCutter.h"

#include <utility>

namespace murmeli::voice {

QList<QByteArray> PieceCutter::append(const QByteArray& pcm)
{
    m_all.append(pcm);
    m_pending.append(pcm);
    QList<QByteArray> pieces;
    qsizetype offset = 0;
    while (m_pending.size() - offset >= pieceBytes) {
        pieces.append(m_pending.mid(offset, pieceBytes));
        offset += pieceBytes;
    }
    // One removal per call rather than per piece: a long buffer is not shifted again for every piece cut from it.
    m_pending.remove(0, offset);
    return pieces;
}

QByteArray PieceCutter::takeTail()
{
    return std::exchange(m_pending, {});
}

QByteArray PieceCutter::takeAll()
{
    return std::exchange(m_all, {});
}

void PieceCutter::reset()
{
    m_all.clear();
    m_pending.clear();
}

} // namespace murmeli::voice
