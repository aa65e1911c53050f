#pragma once

#include <deque>
#include <vector>

#include <QPointer>
#include <QStringList>

#include "platform/recognizer/PresetRecognitionTask.h"
#include "platform/recognizer/SpeechRecognizer.h"

namespace murmeli::platform {

/// A recogniser for tests: records every request and answers from a queue of scripted outcomes, on a later turn of
/// the event loop as the real one does. Refuses what the real one refuses: everything when unavailable, and locales
/// outside its list.
class FakeSpeechRecognizer final : public SpeechRecognizer {
    Q_OBJECT

public:
    FakeSpeechRecognizer() = default;

    bool isAvailable() const override { return m_available; }
    bool supportsLocale(const QString& locale) const override;
    RecognizerAuthorization authorizationStatus() const override { return m_authorization; }
    std::unique_ptr<RecognitionTask> recognize(const RecognitionRequest& request) override;
    QString backendName() const override { return QStringLiteral("fake"); }

    void setAvailable(bool available) { m_available = available; }
    void setAuthorization(RecognizerAuthorization status) { m_authorization = status; }
    /// Locale tags it has a "model" for, compared by language and region whatever the separator; "en-US" at first.
    void setSupportedLocales(QStringList locales) { m_locales = std::move(locales); }
    /// Answers the next recognitions in order; once the queue is empty a recognition hears nothing (NoSpeech).
    void queue(PresetRecognitionOutcome outcome) { m_outcomes.push_back(std::move(outcome)); }
    /// While held, new recognitions wait (in flight) until release().
    void setHeld(bool held) { m_held = held; }
    /// Lets every waiting recognition deliver its outcome.
    void release();

    const std::vector<RecognitionRequest>& requests() const { return m_requests; }
    /// Recognitions still in flight (neither delivered nor cancelled).
    int inFlight() const;

private:
    std::vector<RecognitionRequest> m_requests;
    std::deque<PresetRecognitionOutcome> m_outcomes;
    std::vector<QPointer<PresetRecognitionTask>> m_tasks;
    QStringList m_locales { QStringLiteral("en-US") };
    RecognizerAuthorization m_authorization = RecognizerAuthorization::Authorized;
    bool m_available = true;
    bool m_held = false;
};

} // namespace murmeli::platform
