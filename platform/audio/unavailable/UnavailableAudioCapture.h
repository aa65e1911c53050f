#pragma once

#include "platform/audio/AudioCapture.h"

namespace murmeli::platform {

/// The capture of a build without a sound-server backend: no device, and every start fails with the reason.
class UnavailableAudioCapture final : public AudioCapture {
    Q_OBJECT

public:
    UnavailableAudioCapture() = default;

    MicrophoneAccess checkAccess() const override;
    bool start() override;
    void stop() override { }
    bool isActive() const override { return false; }
    QString errorString() const override { return m_error; }

private:
    QString m_error;
};

} // namespace murmeli::platform
