#pragma once

#include <QObject>
#include <QString>

#include "platform/recognizer/RecognitionTypes.h"

namespace murmeli::platform {

/// One running recognition, made by SpeechRecognizer::recognize(). It lives on the thread that asked for it and emits
/// there; the decoding itself runs elsewhere. It ends with exactly one finished() or one failed(), unless cancelled.
/// Destroying it cancels it; never delete it from inside one of its own signals (use deleteLater()).
class RecognitionTask : public QObject {
    Q_OBJECT

public:
    RecognitionTask() = default;
    ~RecognitionTask() override = default;
    Q_DISABLE_COPY_MOVE(RecognitionTask)

    /// Stops the recognition; no signal follows, including one already on its way.
    virtual void cancel() = 0;
    /// True once finished() or failed() has been emitted or the task was cancelled.
    virtual bool isDone() const = 0;

Q_SIGNALS:
    /// The running hypothesis so far, replacing the previous one; only where the backend reports one.
    void partialResult(const QString& text);
    /// The final text; never empty (audio without words ends in failed() with NoSpeech).
    void finished(const QString& text);
    void failed(const murmeli::platform::RecognitionError& error);
};

} // namespace murmeli::platform
