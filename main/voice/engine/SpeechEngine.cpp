#include "main/voice/engine/SpeechEngine.h"

#include "main/voice/cloud/CloudEndpoints.h"
#include "main/voice/settings/LocaleNormalizer.h"

namespace murmeli::voice {

SpeechEngine::SpeechEngine(platform::Defaults& defaults, QObject* parent)
    : SpeechEngine(
        defaults, [] { return LocaleNormalizer::platformLocaleIdentifier(); }, parent)
{
}

SpeechEngine::SpeechEngine(platform::Defaults& defaults, LocaleIdentifierSource localeIdentifier, QObject* parent)
    : QObject(parent), m_settings(defaults), m_localeIdentifier(std::move(localeIdentifier)),
      m_cloudWorkerURL(CloudEndpoints::defaultBaseURL())
{
}

SpeechEngine::~SpeechEngine() = default;

QString SpeechEngine::effectiveBackendId() const
{
    return SpeechBackends::effectiveBackendId(activeBackendId(), preferStreaming());
}

QString SpeechEngine::backendDescription() const
{
    return SpeechBackends::describeBackend(effectiveBackendId(), m_localeIdentifier ? m_localeIdentifier() : QString());
}

void SpeechEngine::resetCloudState()
{
    setCloudToken(QString());
    m_cloudMinutesLeft = unknownMinutes;
}

} // namespace murmeli::voice
