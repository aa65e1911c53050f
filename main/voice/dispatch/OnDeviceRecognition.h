#pragma once

#include <functional>
#include <list>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "platform/recognizer/SpeechRecognizer.h"

namespace murmeli::voice {

/// The on-device recogniser over the files of the current take: each recognition ends in one outcome within its time
/// limit, and all of them are cancelled, with nothing more said, when the take is given up. Main thread.
class OnDeviceRecognition final {
public:
    /// How long one recognition may take before it counts as failed.
    static constexpr qint64 limitMs = 60000;

    /// recognizer, clock and context must outlive this; the recogniser's signals are taken on context's thread.
    OnDeviceRecognition(platform::SpeechRecognizer& recognizer, common::Clock& clock, QObject& context);
    ~OnDeviceRecognition();
    OnDeviceRecognition(const OnDeviceRecognition&) = delete;
    OnDeviceRecognition& operator=(const OnDeviceRecognition&) = delete;

    /// Recognises the WAV file in locale, the hints favoured; its outcome through onText or onFailure.
    void recognize(const QString& wavPath, const QString& locale, const QStringList& hints);
    /// Every running recognition is cancelled; none reports anything any more.
    void cancelAll();

    /// The running hypothesis, then the final text before onText.
    std::function<void(const QString& text)> onPartial;
    std::function<void(const QString& text)> onText;
    /// Why the recognition gave no text, as "Recognition failed: ...".
    std::function<void(const QString& message)> onFailure;

private:
    struct Running final {
        std::unique_ptr<platform::RecognitionTask> task;
        common::Clock::TimerId limit = 0;
    };

    platform::SpeechRecognizer& m_recognizer;
    common::Clock& m_clock;
    QObject& m_context;
    std::list<Running> m_running;
};

} // namespace murmeli::voice
