#include "main/device/cues/AssetAudioCueOutput.h"

#include <utility>

#include <QDir>
#include <QFileInfo>

#include "platform/audio/WavFile.h"

namespace murmeli::device {

using common::LogColor;

AssetAudioCueOutput::AssetAudioCueOutput(SpeakFallback speak, common::LogSink logSink, QStringList soundFolders,
    std::unique_ptr<platform::AudioPlayer> player)
    : speakFallback(std::move(speak)), onLog(std::move(logSink)), m_soundFolders(std::move(soundFolders)),
      m_player(std::move(player))
{
    // A sound that never reaches the speaker would otherwise pass without a word.
    QObject::connect(m_player.get(), &platform::AudioPlayer::failed, m_player.get(), [this](const QString& error) {
        onLog(QStringLiteral("AudioCue: playback failed for %1: %2").arg(m_currentSound, error), LogColor::Orange);
    });
}

AssetAudioCueOutput::~AssetAudioCueOutput() = default;

void AssetAudioCueOutput::play(AudioCue cue)
{
    const QString name = soundFile(cue);
    const std::optional<QString> path = resolveAssetPath(cue);
    if (!path) {
        if (!speakFallback) {
            onLog(QStringLiteral("AudioCue: WAV missing for %1, no TTS fallback").arg(name), LogColor::Orange);
            return;
        }
        onLog(QStringLiteral("AudioCue: WAV missing for %1, TTS fallback").arg(name), LogColor::Orange);
        fallback(cue);
        return;
    }
    m_player->stop();
    QString error;
    const std::optional<platform::WavAudio> audio = platform::WavFile::read(*path, &error);
    if (!audio) {
        onLog(QStringLiteral("AudioCue: AVAudioPlayer init failed for %1: %2").arg(name, error), LogColor::Orange);
        fallback(cue);
        return;
    }
    if (!m_player->play(audio->format, audio->pcm)) {
        onLog(QStringLiteral("AudioCue: AVAudioPlayer.play() returned false for %1 (%2)")
                  .arg(name, m_player->errorString()),
            LogColor::Orange);
        fallback(cue);
        return;
    }
    m_currentSound = name;
}

std::optional<QString> AssetAudioCueOutput::resolveAssetPath(AudioCue cue)
{
    const QString name = soundFile(cue);
    if (const auto cached = m_pathCache.find(name); cached != m_pathCache.end()) {
        return cached->second;
    }
    std::optional<QString> found;
    for (const QString& folder : m_soundFolders) {
        const QString candidate = QDir(folder).filePath(name + QStringLiteral(".wav"));
        if (QFileInfo(candidate).isFile()) {
            found = candidate;
            break;
        }
    }
    m_pathCache.emplace(name, found);
    return found;
}

void AssetAudioCueOutput::fallback(AudioCue cue)
{
    if (speakFallback) {
        speakFallback(fallbackTTS(cue));
    }
}

} // namespace murmeli::device
