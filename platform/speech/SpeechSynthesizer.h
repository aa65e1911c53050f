#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace murmeli::platform {

/// One run of the speech tool: a program and its arguments, never a shell line, and what goes on its standard input.
struct SpeechCommand final {
    QString program;
    QStringList arguments;
    QByteArray standardInput;

    friend bool operator==(const SpeechCommand&, const SpeechCommand&) = default;
};

/// How the tool should speak.
struct SpeechVoice final {
    /// Words a minute.
    int rate = 160;
    /// The tool's voice name; empty for its default.
    QString voice;
};

/// The system's speech synthesiser, described rather than run: it says which command turns a text into a WAV on
/// standard output and how that output becomes take PCM (16 kHz mono signed 16-bit little-endian). Running the
/// command, with its time limit, is the caller's, so that the one process runner of the program does it. Never
/// throws; safe to use from any thread.
class SpeechSynthesizer {
public:
    SpeechSynthesizer() = default;
    virtual ~SpeechSynthesizer() = default;
    Q_DISABLE_COPY_MOVE(SpeechSynthesizer)

    /// Whether the tool is installed.
    virtual bool isAvailable() const = 0;
    /// The tool's path as it is run (its bare name when it was not found), for log lines.
    virtual QString program() const = 0;
    /// The command that speaks the text; the text travels on standard input, never among the arguments.
    virtual SpeechCommand command(const QString& text, const SpeechVoice& voice) const = 0;
    /// The tool's standard output as take PCM; nullopt, with the reason in error when given, for output that is not
    /// a WAV of speech.
    virtual std::optional<QByteArray> decode(const QByteArray& output, QString* error = nullptr) const = 0;
};

} // namespace murmeli::platform
