#pragma once

#include <QByteArray>
#include <QList>

namespace murmeli::voice {

/// The take's PCM as the streaming protocols want it: every byte kept for a fallback, and cut into pieces of a fixed
/// size as it comes, with what is left over held back for the next call or the tail. Not thread-safe: the audio
/// pump keeps it on its own thread.
class PieceCutter final {
public:
    /// 100 ms of 16 kHz mono 16-bit PCM.
    static constexpr qsizetype pieceBytes = 3200;

    /// Appends pcm and returns the whole pieces it completed, oldest first.
    QList<QByteArray> append(const QByteArray& pcm);
    /// Takes the bytes that make no whole piece yet, leaving none.
    QByteArray takeTail();
    /// Takes every byte appended since the last reset, leaving none.
    QByteArray takeAll();
    /// Forgets both buffers.
    void reset();

    qsizetype pendingBytes() const { return m_pending.size(); }
    qsizetype totalBytes() const { return m_all.size(); }

private:
    QByteArray m_all;
    QByteArray m_pending;
};

} // namespace murmeli::voice
