#pragma once

#include <QByteArray>
#include <QString>

#include "main/voice/context/STTContext.h"
#include "main/voice/flow/PolishGateContext.h"

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {

class SpeechEngine;

/// How push-to-talk drives the speech engine's takes: opens the streaming socket ahead of the take, starts a take from
/// a microphone source on the engine's path for it (either microphone streams when a streaming configuration exists;
/// otherwise the computer's is recorded for a batch take and the device's audio is collected by the link and
/// transcribed at the stop), stops it the way it was started, gives it up, tells the engine's notices from the errors
/// that end a take, and builds the polish gate from the engine's state. Main thread only.
class TakeControl final {
public:
    /// How a start came out.
    struct Start final {
        /// False when the take could not start; the engine has said why through its error callback.
        bool started = false;
        /// Whether the take streams its audio while it records.
        bool streaming = false;
    };

    /// engine and defaults must outlive this.
    TakeControl(SpeechEngine& engine, const platform::Defaults& defaults);

    /// Starts a take from micSource (SpeechBackends::localMicSource, or the device's); the engine's error callback
    /// may already have reported its failure when this returns.
    Start start(const QString& micSource);
    /// Stops the take last started, a device take without streaming with the audio the device sent (16-bit PCM at
    /// 8 kHz); its outcome comes later, through the engine's callbacks.
    void stop(const QByteArray& devicePcm = {});
    /// Gives the take up: nothing of it reaches the engine's callbacks any more.
    void cancel();

    /// Whether an error the engine reports leaves the take running: a fallback is about to run, or the streaming
    /// server complained mid-turn. Every other error ends the take.
    static bool isNotice(const QString& message);
    /// Whether the error says the microphone never opened, so nothing of the take was heard.
    static bool isMicrophoneFailure(const QString& message);
    /// What decides and addresses the polish of a take with this context, as the engine stands now.
    PolishGateContext polishGate(const STTContext& context) const;

private:
    SpeechEngine& m_engine;
    const platform::Defaults& m_defaults;
    enum class Path { Batch, Streaming, Device };
    Path m_path = Path::Batch;
};

} // namespace murmeli::voice
