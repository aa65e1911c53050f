#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

namespace murmeli::device {

/// Turns a text into speech PCM: signed 16-bit little-endian mono samples at TTSEngine::sampleRate, no header.
class TTSBackend {
public:
    TTSBackend() = default;
    virtual ~TTSBackend() = default;
    TTSBackend(const TTSBackend&) = delete;
    TTSBackend& operator=(const TTSBackend&) = delete;

    /// The key stored in the engine's backend setting.
    virtual QString id() const = 0;
    /// The name the settings list it under.
    virtual QString displayName() const = 0;
    /// Whether it can synthesise at all; the engine passes over one that cannot.
    virtual bool isAvailable() const = 0;
    /// The PCM of the text, or nullopt when synthesis failed; never throws.
    virtual QCoro::Task<std::optional<QByteArray>> synthesize(QString text) = 0;
};

} // namespace murmeli::device
