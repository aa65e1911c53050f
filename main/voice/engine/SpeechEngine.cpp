#include "main/voice/engine/SpeechEngine.h"

#include "main/voice/cloud/CloudEndpoints.h"
#include "main/voice/settings/LocaleNormalizer.h"
#include "platform/net/NetworkSessionFactory.h"

namespace murmeli::voice {

SpeechEngine::SpeechEngine(platform::Defaults& defaults, common::Clock& clock, QObject* parent)
    : SpeechEngine(
        defaults, clock, [] { return LocaleNormalizer::platformLocaleIdentifier(); }, parent)
{
}

SpeechEngine::SpeechEngine(
    platform::Defaults& defaults, common::Clock& clock, LocaleIdentifierSource localeIdentifier, QObject* parent)
    : QObject(parent), m_settings(defaults), m_localeIdentifier(std::move(localeIdentifier)),
      m_cloudWorkerURL(CloudEndpoints::defaultBaseURL()),
      m_sockets(defaults, clock,
          [this] {
              return StreamingInputs { effectiveBackendId(), m_cloudToken, m_cloudWorkerURL };
          }),
      // Uploads go out like the platform's shared session does: directly, never through the WebSocket proxy.
      m_httpSession(platform::makeNetworkSession(QNetworkProxy(QNetworkProxy::DefaultProxy))),
      m_upload(m_httpSession->accessManager(), clock),
      m_enhanceTransport([this] { return m_sockets.wsSession(); }, clock), m_enhancer(m_enhanceTransport, defaults)
{
    m_enhancer.setEngineStateProvider(&m_enhanceState);
    m_enhancer.effectiveLocale = [&defaults] { return LocaleNormalizer::effectiveLocale(defaults); };
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
