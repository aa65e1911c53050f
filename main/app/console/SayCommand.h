#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "platform/audio/AudioPlayer.h"
#include "platform/speech/SpeechSynthesizer.h"

namespace murmeli::app {

/// `murmeli say [--wav FILE] [--] TEXT`: speaks the text with the announcements' synthesis through the default audio
/// output, or writes it to FILE as a 16 kHz mono 16-bit WAV and plays nothing. It is how a user hears the voice, and
/// how a script checks it, without starting the hook server or any window.
class SayCommand final {
public:
    /// What the arguments ask for.
    struct Request {
        QString text;
        /// Where the WAV goes; "" to play the phrase.
        QString wavPath;

        friend bool operator==(const Request&, const Request&) = default;
    };

    static constexpr int exitUsage = 64;

    /// The request of the words after "say", or nullopt, with what is wrong in problem, when they do not make one.
    /// Options come first; from "--" or the first word that is not an option on, every word is text, joined by
    /// single spaces.
    static std::optional<Request> parse(const QStringList& words, QString* problem = nullptr);

    /// The system's synthesiser and the sound server's player unless given.
    explicit SayCommand(std::shared_ptr<const platform::SpeechSynthesizer> synthesizer = {},
        std::function<std::unique_ptr<platform::AudioPlayer>()> makePlayer = {});

    /// Each line for the user's standard error, without a line feed.
    std::function<void(const QString& line)> onError;

    /// Speaks or writes the phrase; the exit status: 0 when done, 1 when it failed.
    QCoro::Task<int> run(Request request);

private:
    int fail(const QString& message) const;
    QCoro::Task<int> play(QByteArray pcm);
    int write(const QString& path, const QByteArray& pcm) const;

    std::shared_ptr<const platform::SpeechSynthesizer> m_synthesizer;
    std::function<std::unique_ptr<platform::AudioPlayer>()> m_makePlayer;
};

} // namespace murmeli::app
