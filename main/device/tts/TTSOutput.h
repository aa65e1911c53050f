#pragma once

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

namespace murmeli::device {

/// Where a phrase is heard. It is handed the phrase as IMA ADPCM at TTSEngine::sampleRate, each phrase a stream of
/// its own from the coder's initial state.
class TTSOutput {
public:
    TTSOutput() = default;
    virtual ~TTSOutput() = default;
    TTSOutput(const TTSOutput&) = delete;
    TTSOutput& operator=(const TTSOutput&) = delete;

    /// The key the engine's output choice names.
    virtual QString id() const = 0;
    virtual QString displayName() const = 0;
    /// Whether a phrase played now would be heard; the engine passes over one that would not.
    virtual bool isAvailable() const = 0;
    /// Completes when the output is done with the buffer (each output says when that is); never throws.
    virtual QCoro::Task<> play(QByteArray adpcm) = 0;
    /// Stops what it plays.
    virtual void stop() = 0;
};

} // namespace murmeli::device
