#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Log.h"
#include "main/device/tts/TTSBackend.h"
#include "main/device/tts/TTSOutput.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::device {

/// Speaks short announcements: a backend turns the phrase into PCM, the engine compresses it to IMA ADPCM and hands
/// it to the chosen output; when synthesis fails a short tone plays instead. One phrase at a time: a phrase that
/// comes while another is under way is dropped, not queued. Short phrases are kept once synthesised. Confined to the
/// thread it was created on (the main thread), which makes the busy test-and-set one step; the tools and outputs it
/// waits on never block that thread.
class TTSEngine final {
public:
    static constexpr int sampleRate = 16000;
    static constexpr auto enabledUDKey = "ttsEnabled";
    static constexpr auto mutedUDKey = "notch.tts.muted";
    static constexpr auto backendUDKey = "ttsBackend";
    static constexpr auto defaultBackendId = "apple-tts";
    static constexpr auto defaultOutputId = "ble-speaker";
    /// Phrases of fewer characters than this are kept once synthesised.
    static constexpr int cacheCharacterLimit = 16;
    static constexpr int toneDurationMs = 500;
    static constexpr double toneHz = 440.0;

    explicit TTSEngine(platform::Defaults& defaults);
    ~TTSEngine();
    TTSEngine(const TTSEngine&) = delete;
    TTSEngine& operator=(const TTSEngine&) = delete;

    /// Every line the engine logs.
    common::LogSink onLog;

    /// The Lab switch; off until the user turns it on.
    bool isEnabled() const;
    void setEnabled(bool enabled);
    /// The panel's mute switch, shared through the same setting.
    bool isMuted() const;
    void setMuted(bool muted);
    /// The chosen backend's id; setting it, even to the same id, empties the phrase cache.
    QString activeBackendId() const;
    void setActiveBackendId(const QString& id);
    /// The chosen output's id, held in memory only.
    QString activeOutputId() const { return m_activeOutputId; }
    void setActiveOutputId(const QString& id) { m_activeOutputId = id; }

    /// Backends and outputs, each list in fallback order.
    const std::vector<std::shared_ptr<TTSBackend>>& backends() const { return m_backends; }
    void setBackends(std::vector<std::shared_ptr<TTSBackend>> backends) { m_backends = std::move(backends); }
    const std::vector<std::shared_ptr<TTSOutput>>& outputs() const { return m_outputs; }
    void setOutputs(std::vector<std::shared_ptr<TTSOutput>> outputs) { m_outputs = std::move(outputs); }
    /// The chosen one when it is available, else the first available one, else null.
    std::shared_ptr<TTSBackend> activeBackend() const;
    std::shared_ptr<TTSOutput> activeOutput() const;

    /// A phrase is being synthesised or played.
    bool isSpeaking() const { return m_speaking; }

    /// Speaks the phrase or drops it; never reports a failure to the caller.
    QCoro::Task<> speak(QString text);
    /// Stops every output; a phrase under way runs on to its end.
    void stop();
    /// Forgets every kept phrase.
    void clearCache();

    /// ADPCM of a sine tone at sampleRate, amplitude 12000, from the coder's initial state.
    static QByteArray generateSynthTone(int durationMs, double freq);

private:
    QCoro::Task<> deliver(QString text);
    QCoro::Task<> playOnActiveOutput(QByteArray adpcm);

    platform::Defaults& m_defaults;
    std::vector<std::shared_ptr<TTSBackend>> m_backends;
    std::vector<std::shared_ptr<TTSOutput>> m_outputs;
    QString m_activeOutputId = QString::fromLatin1(defaultOutputId);
    std::map<QString, QByteArray> m_phraseCache;
    bool m_speaking = false;
    // Phrases still waiting on a tool or an output when the engine goes find it gone and stop there.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace murmeli::device
