#include "main/device/tts/TTSEngine.h"

#include <cmath>
#include <numbers>

#include <QtEndian>

#include "main/common/TextUtils.h"
#include "main/device/codec/ADPCMEncoder.h"

namespace murmeli::device {

namespace {

constexpr int mutedQuoteCharacters = 30;
constexpr int spokenQuoteCharacters = 40;
constexpr double toneAmplitude = 12000.0;

template <typename Entry>
std::shared_ptr<Entry> choose(const std::vector<std::shared_ptr<Entry>>& list, const QString& id)
{
    for (const std::shared_ptr<Entry>& entry : list) {
        if (entry->id() == id && entry->isAvailable()) {
            return entry;
        }
    }
    for (const std::shared_ptr<Entry>& entry : list) {
        if (entry->isAvailable()) {
            return entry;
        }
    }
    return nullptr;
}

QString quoted(const QString& text, int characters)
{
    return QLatin1Char('"') + common::text::prefixCharacters(text, characters) + QLatin1Char('"');
}

} // namespace

TTSEngine::TTSEngine(platform::Defaults& defaults) : m_defaults(defaults) { }

TTSEngine::~TTSEngine()
{
    // Outputs and backends still hold phrases of ours; they must find us gone when they finish.
    m_alive.reset();
}

bool TTSEngine::isEnabled() const
{
    return m_defaults.boolValue(QLatin1String(enabledUDKey)).value_or(false);
}

void TTSEngine::setEnabled(bool enabled)
{
    m_defaults.setValue(QLatin1String(enabledUDKey), enabled);
}

bool TTSEngine::isMuted() const
{
    return m_defaults.boolValue(QLatin1String(mutedUDKey)).value_or(false);
}

void TTSEngine::setMuted(bool muted)
{
    m_defaults.setValue(QLatin1String(mutedUDKey), muted);
}

QString TTSEngine::activeBackendId() const
{
    return m_defaults.stringValue(QLatin1String(backendUDKey)).value_or(QString::fromLatin1(defaultBackendId));
}

void TTSEngine::setActiveBackendId(const QString& id)
{
    m_defaults.setValue(QLatin1String(backendUDKey), id);
    clearCache();
}

std::shared_ptr<TTSBackend> TTSEngine::activeBackend() const
{
    return choose(m_backends, activeBackendId());
}

std::shared_ptr<TTSOutput> TTSEngine::activeOutput() const
{
    return choose(m_outputs, m_activeOutputId);
}

void TTSEngine::stop()
{
    for (const std::shared_ptr<TTSOutput>& output : m_outputs) {
        output->stop();
    }
}

void TTSEngine::clearCache()
{
    m_phraseCache.clear();
}

QCoro::Task<> TTSEngine::speak(QString text)
{
    if (!isEnabled()) {
        co_return;
    }
    if (isMuted()) {
        onLog(QStringLiteral("TTS: muted (notch toggle), skipping ") + quoted(text, mutedQuoteCharacters),
            common::LogColor::Grey);
        co_return;
    }
    if (text.isEmpty() || m_speaking) {
        co_return;
    }
    if (!activeOutput()) {
        co_return;
    }
    // Tested and set in one step on the engine's thread: a second phrase that comes while this one waits on the
    // tool or the output finds the flag set.
    m_speaking = true;
    onLog(QStringLiteral("TTS: ") + quoted(text, spokenQuoteCharacters), common::LogColor::Grey);
    const std::weak_ptr<bool> alive = m_alive;
    co_await deliver(std::move(text));
    if (!alive.expired()) {
        m_speaking = false;
    }
}

QCoro::Task<> TTSEngine::deliver(QString text)
{
    if (const auto cached = m_phraseCache.find(text); cached != m_phraseCache.end()) {
        co_await playOnActiveOutput(cached->second);
        co_return;
    }
    const std::shared_ptr<TTSBackend> backend = activeBackend();
    if (!backend) {
        onLog(QStringLiteral("TTS: no backend available"), common::LogColor::Grey);
        co_return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    const std::optional<QByteArray> pcm = co_await backend->synthesize(text);
    if (alive.expired()) {
        co_return;
    }
    QByteArray adpcm;
    if (pcm && !pcm->isEmpty()) {
        ADPCMEncoder::State state;
        adpcm = ADPCMEncoder::encode(*pcm, state);
        onLog(QStringLiteral("TTS: encoded %1 bytes ADPCM via %2").arg(adpcm.size()).arg(backend->id()),
            common::LogColor::Grey);
        if (common::text::characterCount(text) < cacheCharacterLimit) {
            m_phraseCache[text] = adpcm;
        }
    } else {
        onLog(
            QStringLiteral("TTS: %1 synthesis failed, using tone fallback").arg(backend->id()), common::LogColor::Grey);
        adpcm = generateSynthTone(toneDurationMs, toneHz);
    }
    co_await playOnActiveOutput(std::move(adpcm));
}

QCoro::Task<> TTSEngine::playOnActiveOutput(QByteArray adpcm)
{
    // Taken again now: the device may have gone while the phrase was being made.
    const std::shared_ptr<TTSOutput> output = activeOutput();
    if (output) {
        co_await output->play(std::move(adpcm));
    }
}

QByteArray TTSEngine::generateSynthTone(int durationMs, double freq)
{
    const qint64 count = qint64(sampleRate) * durationMs / 1000;
    if (count <= 0) {
        return {};
    }
    QByteArray pcm(count * 2, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i) {
        const double value = std::sin(freq * 2.0 * std::numbers::pi * (double(i) / sampleRate)) * toneAmplitude;
        qToLittleEndian<qint16>(static_cast<qint16>(value), pcm.data() + i * 2);
    }
    ADPCMEncoder::State state;
    return ADPCMEncoder::encode(pcm, state);
}

} // namespace murmeli::device
