#pragma once

#include <optional>

#include <QByteArray>
#include <QtGlobal>

namespace murmeli::voice {

/// The device's µ-law audio of a streaming take brought to take PCM frame by frame, exactly as the whole take would
/// be at once: each frame's last sample waits for the next frame's first, so the midpoint between them is made and
/// no sample is repeated at a join. Main thread.
class DeviceAudioStream final {
public:
    /// 16 kHz PCM for one frame of 8 kHz µ-law; the frame's last sample comes with the next frame or finish().
    QByteArray feed(const QByteArray& mulaw);
    /// The held sample, repeated as the end of a take is; empty when nothing is held. The stream starts over.
    QByteArray finish();
    /// Forgets the held sample, for a new take.
    void reset() { m_held.reset(); }

private:
    std::optional<qint16> m_held;
};

} // namespace murmeli::voice
