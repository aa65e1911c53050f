#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include "platform/speech/SpeechSynthesizer.h"

namespace murmeli::platform {

/// A synthesiser for tests and benchmarks: it records every phrase it is asked for and speaks one fixed sound, 200 ms
/// of a 440 Hz tone. Its command hands the sound's WAV to a tool that copies standard input to standard output ("cat"),
/// so it runs under the real process runner without any speech tool installed; setTool() puts a script of the test's in
/// its place, one that fails or never ends.
class FakeSpeechSynthesizer final : public SpeechSynthesizer {
public:
    FakeSpeechSynthesizer();

    bool isAvailable() const override { return m_available; }
    QString program() const override { return m_program; }
    SpeechCommand command(const QString& text, const SpeechVoice& voice) const override;
    /// The take PCM of a take WAV; anything else is refused.
    std::optional<QByteArray> decode(const QByteArray& output, QString* error = nullptr) const override;

    /// What isAvailable() reports; available unless set.
    void setAvailable(bool available) { m_available = available; }
    /// The tool the command runs and its arguments; "cat" unless set.
    void setTool(const QString& program, const QStringList& arguments = {});

    /// Every phrase asked for, in order.
    QStringList phrases() const;

private:
    bool m_available = true;
    QByteArray m_speech;
    QString m_program;
    QStringList m_arguments;
    mutable QMutex m_mutex;
    mutable QStringList m_phrases;
};

} // namespace murmeli::platform
