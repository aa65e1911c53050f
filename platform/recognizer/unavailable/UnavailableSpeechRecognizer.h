#pragma once

#include "platform/recognizer/SpeechRecognizer.h"

namespace murmeli::platform {

/// The recogniser of a build without pocketsphinx or of a machine without its model: it supports no locale and fails
/// every recognition with Unavailable, naming what is missing.
class UnavailableSpeechRecognizer final : public SpeechRecognizer {
    Q_OBJECT

public:
    /// reason completes "Speech recognition is unavailable: ".
    explicit UnavailableSpeechRecognizer(QString reason);

    bool isAvailable() const override { return false; }
    bool supportsLocale(const QString&) const override { return false; }
    RecognizerAuthorization authorizationStatus() const override;
    std::unique_ptr<RecognitionTask> recognize(const RecognitionRequest& request) override;
    QString backendName() const override { return QStringLiteral("unavailable"); }

private:
    QString m_reason;
};

} // namespace murmeli::platform
