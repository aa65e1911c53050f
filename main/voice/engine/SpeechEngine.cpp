#include "main/voice/engine/SpeechEngine.h"

#include <QDir>
#include <QMetaObject>
#include <QTimer>

#include "main/common/BoundedFile.h"
#include "main/voice/engine/TakeControl.h"
#include "main/voice/preferences/LocaleNormalizer.h"
#include "main/voice/service/CloudEndpoints.h"
#include "main/voice/service/CloudTranscribe.h"
#include "platform/net/NetworkSessionFactory.h"
#include "platform/recognizer/LocaleTag.h"
#include "platform/recognizer/SpeechRecognizerFactory.h"

namespace murmeli::voice {

using platform::RecognizerAuthorization;

namespace {

SpeechEngine::Devices withRecognizer(SpeechEngine::Devices devices)
{
    if (!devices.recognizer) {
        devices.recognizer = platform::makeSpeechRecognizer();
    }
    return devices;
}

} // namespace

SpeechEngine::SpeechEngine(platform::Defaults& defaults, common::Clock& clock, QObject* parent)
    : SpeechEngine(defaults, clock, Devices {}, {}, parent)
{
}

SpeechEngine::SpeechEngine(
    platform::Defaults& defaults, common::Clock& clock, LocaleIdentifierSource localeIdentifier, QObject* parent)
    : SpeechEngine(defaults, clock, Devices {}, std::move(localeIdentifier), parent)
{
}

SpeechEngine::SpeechEngine(platform::Defaults& defaults, common::Clock& clock, Devices devices,
    LocaleIdentifierSource localeIdentifier, QObject* parent)
    : QObject(parent), m_settings(defaults),
      m_localeIdentifier(localeIdentifier ? std::move(localeIdentifier) : LocaleIdentifierSource([] {
          return LocaleNormalizer::platformLocaleIdentifier();
      })),
      m_cloudWorkerURL(CloudEndpoints::defaultBaseURL()),
      m_sockets(
          defaults, clock,
          [this] {
              return StreamingInputs { effectiveBackendId(), m_cloudToken, m_cloudWorkerURL };
          },
          devices.socketSessions),
      // Uploads go out like the platform's shared session does: directly, never through the WebSocket proxy.
      m_httpSession(platform::makeNetworkSession(QNetworkProxy(QNetworkProxy::DefaultProxy))),
      m_upload(m_httpSession->accessManager(), clock),
      m_enhanceTransport([this] { return m_sockets.wsSession(); }, clock), m_enhancer(m_enhanceTransport, defaults),
      m_clock(clock), m_devices(withRecognizer(std::move(devices))), m_files(m_devices.tempDirectory),
      m_onDevice(*m_devices.recognizer, clock, *this), m_microphone(m_devices.captureFactory), m_batch(m_microphone),
      m_v3([this] { return m_streaming.session(); }, clock),
      m_dispatcher(TakeDispatcher::Routes {
                       [this] { return effectiveBackendId(); },
                       [this] { return m_cloudToken; },
                       [this](const QString& path) { transcribeApple(path); },
                       [this](const QString& path, const std::optional<QByteArray>& wav, const STTContext& context) {
                           transcribeCloud(path, wav, context);
                       },
                   },
          m_files),
      m_streaming(*this, defaults, clock)
{
    m_enhancer.setEngineStateProvider(&m_enhanceState);
    m_enhancer.effectiveLocale = [&defaults] { return LocaleNormalizer::effectiveLocale(defaults); };
    wireTakeParts();
}

SpeechEngine::~SpeechEngine()
{
    // The capture goes before the pump it feeds.
    m_microphone.stop();
    m_batch.stop();
}

void SpeechEngine::wireTakeParts()
{
    // The take's files go with its outcome; a notice leaves them to the fallback it announces.
    m_dispatcher.onResult = [this](const QString& text) {
        m_files.removeAll();
        if (onResult) {
            onResult(text);
        }
    };
    m_dispatcher.onError = [this](const QString& message) {
        if (!TakeControl::isNotice(message)) {
            m_files.removeAll();
        }
        if (onError) {
            onError(message);
        }
    };
    m_v3.onPartialText = [this](const QString& text) { partial(text); };
    m_onDevice.onPartial = [this](const QString& text) { partial(text); };
    m_onDevice.onText = [this](const QString& text) { m_dispatcher.onResult(text); };
    m_onDevice.onFailure = [this](const QString& message) { m_dispatcher.reportError(message); };
    m_v3.onNotice = [this](const QString& message) { m_dispatcher.reportError(message); };
    const common::LogSink toLog = [this](const QString& message, common::LogColor color) { onLog(message, color); };
    m_microphone.onLog = toLog;
    m_microphone.onFailedUnheard = [this](const QString& error) { captureFailedUnheard(error); };
    m_sockets.onLog = toLog;
    m_streaming.onLog = toLog;
}

QString SpeechEngine::effectiveBackendId() const
{
    return SpeechBackends::effectiveBackendId(activeBackendId(), preferStreaming());
}

QString SpeechEngine::backendDescription() const
{
    return SpeechBackends::describeBackend(effectiveBackendId(), m_localeIdentifier ? m_localeIdentifier() : QString());
}

std::optional<QString> SpeechEngine::setWebSocketProxy(const QString& host, int port)
{
    if (host.isEmpty()) {
        m_sockets.clearProxy();
    } else if (auto refused = m_sockets.setProxy(host, port)) {
        return refused;
    }
    m_streaming.reopenAfterProxyChange();
    return std::nullopt;
}

void SpeechEngine::setActiveMicSource(const QString& source)
{
    m_settings.setActiveMicSource(source);
    if (onMicSourceChanged) {
        onMicSourceChanged(activeMicSource());
    }
}

void SpeechEngine::resetCloudState()
{
    setCloudToken(QString());
    m_cloudMinutesLeft = unknownMinutes;
}

void SpeechEngine::requestPermission(std::function<void(bool granted)> completion)
{
    askMicrophone(std::move(completion), 0);
}

void SpeechEngine::askMicrophone(std::function<void(bool granted)> completion, int attempt)
{
    const platform::MicrophoneAccess access = m_microphone.checkAccess();
    // The sound server's first answer comes from a thread of its own; Qt gives up on a silent server after 30 s,
    // so asking again for a little longer than that always ends in an answer.
    constexpr int pendingRetryMs = 100;
    constexpr int pendingAttempts = 350;
    if (access.pending && attempt < pendingAttempts) {
        QTimer::singleShot(pendingRetryMs, this, [this, completion = std::move(completion), attempt]() mutable {
            askMicrophone(std::move(completion), attempt + 1);
        });
        return;
    }
    // Answered on a later turn of the main loop, as a platform prompt would be.
    QMetaObject::invokeMethod(
        this,
        [this, access, completion = std::move(completion)] {
            m_authStatus = access.granted ? RecognizerAuthorization::Authorized : RecognizerAuthorization::Denied;
            if (access.granted) {
                onLog(QStringLiteral("Speech: recognition permitted, capturing from ") + access.detail,
                    common::LogColor::Grey);
            } else {
                onLog(QStringLiteral("Speech: no capture device, so speech is not recognised: ") + access.detail,
                    common::LogColor::Orange);
                m_dispatcher.reportError(QStringLiteral("Speech permission denied"));
            }
            if (completion) {
                completion(access.granted);
            }
        },
        Qt::QueuedConnection);
}

void SpeechEngine::preconnectIfNeeded()
{
    if (!m_v3.readySession()) {
        m_sockets.preconnectIfNeeded();
    }
}

bool SpeechEngine::startRecording()
{
    beginTake(SpeechBackends::onDeviceId);
    if (m_authStatus != RecognizerAuthorization::Authorized) {
        // Asked again rather than taken from the launch: a microphone may have been plugged in since.
        const platform::MicrophoneAccess access = m_microphone.checkAccess();
        if (!access.granted) {
            m_dispatcher.reportError(QStringLiteral("Speech not authorized"));
            return false;
        }
        m_authStatus = RecognizerAuthorization::Authorized;
        onLog(QStringLiteral("Speech: recognition permitted, capturing from ") + access.detail, common::LogColor::Grey);
    }
    QString problem;
    const std::optional<QString> file = m_files.create(QString::fromLatin1(batchTakeFileStem), &problem);
    if (!file) {
        m_dispatcher.reportError(QStringLiteral("Mic init failed: ") + problem);
        return false;
    }
    if (const std::optional<QString> failure = m_batch.start(*file)) {
        m_dispatcher.reportError(*failure);
        return false;
    }
    m_isListening = true;
    m_startMs = m_clock.monotonicMs();
    return true;
}

void SpeechEngine::stopRecording()
{
    if (!m_isListening || !m_batch.isRecording()) {
        return;
    }
    const double duration = secondsSinceStart();
    const std::optional<QString> writeFailure = m_batch.stop();
    m_isListening = false;
    m_lastRecordDuration = duration;
    if (writeFailure) {
        // The file holds the take up to the failure, which is still worth hearing; the loss is said.
        onLog(QStringLiteral("Speech: the take's file %1 misses audio: %2").arg(m_batch.filePath(), *writeFailure),
            common::LogColor::Orange);
    }
    if (TakeDispatcher::isLongEnough(duration)) {
        dispatch(m_batch.filePath(), std::nullopt, m_pendingContext);
    } else {
        m_dispatcher.reportTooShort();
    }
}

void SpeechEngine::startDeviceRecording()
{
    beginTake(SpeechBackends::onDeviceId);
    m_deviceRecording = true;
    m_startMs = m_clock.monotonicMs();
}

void SpeechEngine::stopDeviceRecording(const QByteArray& pcm, int sampleRate)
{
    if (!std::exchange(m_deviceRecording, false)) {
        return;
    }
    const double duration = secondsSinceStart();
    m_lastRecordDuration = duration;
    if (TakeDispatcher::isLongEnough(duration)) {
        transcribePCM(pcm, sampleRate);
    } else {
        m_dispatcher.reportTooShort();
    }
}

void SpeechEngine::beginTake(const char* backend)
{
    // A take that was never stopped, or whose outcome was given up on, is given up for good now.
    cancelTake();
    m_takeBackend = QString::fromLatin1(backend);
}

void SpeechEngine::cancelTake()
{
    ++m_take;
    m_microphone.stop();
    m_batch.stop();
    m_pump.discard();
    m_feed = {};
    if (std::exchange(m_useQwen3V3, false) || m_v3.isWaiting()) {
        m_v3.cancelTurn();
    }
    if (m_runTask) {
        std::exchange(m_runTask, {})->abandon();
    }
    if (const auto finishing = m_finishingRunTask.lock()) {
        finishing->abandon();
    }
    m_onDevice.cancelAll();
    m_files.removeAll();
    m_isStreamingMode = false;
    m_isListening = false;
    m_deviceRecording = false;
}

bool SpeechEngine::startStreaming(bool captureMicrophone)
{
    const std::optional<StreamingConfig> config = m_sockets.streamingConfig();
    if (!config) {
        return false;
    }
    beginTake(cloudStreamingId);
    Qwen3ASRStreamingSession* session = m_v3.readySession();
    if (session && effectiveBackendId() == QLatin1String(cloudStreamingId)) {
        return startStreamingV3(*session, captureMicrophone);
    }
    m_isStreamingMode = true;
    m_startMs = m_clock.monotonicMs();
    auto streamer = std::make_shared<RunTaskStreamer>(m_clock);
    streamer->onPartialText = [this, alive = std::weak_ptr<bool>(m_alive), take = m_take](const QString& text) {
        if (!alive.expired() && take == m_take) {
            partial(text);
        }
    };
    if (!streamer->start(m_sockets, *config, m_pendingContext.hotwords())) {
        m_isStreamingMode = false;
        return false;
    }
    m_runTask = streamer;
    m_deviceAudio.reset();
    m_feed = m_pump.begin([weak = std::weak_ptr<RunTaskStreamer>(streamer)](const QByteArray& piece) {
        if (const auto held = weak.lock()) {
            held->sendPiece(piece);
        }
    });
    return !captureMicrophone || startCapture();
}

bool SpeechEngine::startStreamingV3(Qwen3ASRStreamingSession& session, bool captureMicrophone)
{
    m_isStreamingMode = true;
    m_useQwen3V3 = true;
    m_startMs = m_clock.monotonicMs();
    // A run-task take's socket is its own finish's to close; this take only lets go of it.
    m_runTask.reset();
    m_deviceAudio.reset();
    m_feed = m_pump.begin([this](const QByteArray& piece) { m_v3.feedAudio(piece); });
    m_v3.beginTurn(session, m_pendingContext.locale());
    return !captureMicrophone || startCapture();
}

bool SpeechEngine::startCapture()
{
    const std::optional<QString> failure = m_microphone.start(m_feed);
    if (!failure) {
        m_isListening = true;
        return true;
    }
    endStreamingStart(*failure);
    return false;
}

void SpeechEngine::captureFailedUnheard(const QString& error)
{
    // The capture opens while the take runs; one that never delivered failed to start, and the take ends now rather
    // than at the key's release, with nothing heard.
    if (m_batch.isRecording()) {
        m_batch.stop();
        m_isListening = false;
        m_dispatcher.reportError(QStringLiteral("Mic failed to start: ") + error);
    } else if (m_isStreamingMode && m_microphone.isActive()) {
        m_microphone.stop();
        m_isListening = false;
        endStreamingStart(error);
    }
}

void SpeechEngine::endStreamingStart(const QString& failure)
{
    // The take ends here: its socket or turn is given up and its buffers emptied, and the start says why.
    m_pump.discard();
    m_feed = {};
    if (m_useQwen3V3) {
        m_v3.cancelTurn();
    }
    if (m_runTask) {
        std::exchange(m_runTask, {})->abandon();
    }
    m_isStreamingMode = false;
    m_useQwen3V3 = false;
    m_dispatcher.reportError(QStringLiteral("AudioEngine failed: ") + failure);
}

void SpeechEngine::feedStreamingBLEChunk(const QByteArray& mulaw)
{
    if (!m_isStreamingMode || !m_feed) {
        return;
    }
    m_feed(m_deviceAudio.feed(mulaw));
}

void SpeechEngine::stopStreamingRecord()
{
    if (!m_isStreamingMode) {
        return;
    }
    const double duration = secondsSinceStart();
    m_lastRecordDuration = duration;
    // Stopping the capture hands its last samples to the feed, so they are part of the take's end; so does the
    // device audio's held last sample.
    m_microphone.stop();
    if (m_feed) {
        m_feed(m_deviceAudio.finish());
    }
    m_feed = {};
    m_isListening = false;
    m_isStreamingMode = false;
    if (std::exchange(m_useQwen3V3, false)) {
        stopStreamingV3(duration);
        return;
    }
    finishRunTask(std::exchange(m_runTask, {}), duration);
}

void SpeechEngine::finishRunTask(std::shared_ptr<RunTaskStreamer> streamer, double duration)
{
    if (!TakeDispatcher::isLongEnough(duration) || !streamer) {
        m_pump.discard();
        if (streamer) {
            streamer->abandon();
        }
        m_dispatcher.reportTooShort();
        return;
    }
    m_finishingRunTask = streamer;
    m_pump.finish([this, streamer, take = m_take](const QByteArray& tail, const QByteArray& pcm) {
        if (take == m_take) {
            awaitRunTask(take, streamer, tail, pcm);
        }
    });
}

QCoro::Task<> SpeechEngine::awaitRunTask(
    quint64 take, std::shared_ptr<RunTaskStreamer> streamer, QByteArray tail, QByteArray pcm)
{
    const std::weak_ptr<bool> alive = m_alive;
    const FinalTextOutcome outcome = co_await streamer->finish(std::move(tail));
    if (alive.expired() || take != m_take) {
        co_return;
    }
    if (outcome.text) {
        m_dispatcher.deliverText(*outcome.text);
    } else {
        m_dispatcher.fallback(pcm, outcome.error, TakeDispatcher::runTaskTexts);
    }
}

void SpeechEngine::stopStreamingV3(double duration)
{
    if (!TakeDispatcher::isLongEnough(duration)) {
        m_pump.discard();
        m_v3.cancelTurn();
        m_dispatcher.reportTooShort();
        return;
    }
    // The end of a given-up turn must not end the turn of the take after it on the same session.
    m_pump.finish([this, take = m_take](const QByteArray& tail, const QByteArray& pcm) {
        if (take == m_take) {
            awaitTurn(take, tail, pcm);
        }
    });
}

QCoro::Task<> SpeechEngine::awaitTurn(quint64 take, QByteArray tail, QByteArray pcm)
{
    const std::weak_ptr<bool> alive = m_alive;
    const V3TurnDriver::TurnEnd end = co_await m_v3.endTurn(std::move(tail));
    if (alive.expired() || take != m_take) {
        co_return;
    }
    if (end.sessionLost) {
        m_dispatcher.reportError(end.outcome.error);
    } else if (end.outcome.text) {
        m_dispatcher.deliverText(*end.outcome.text);
    } else {
        m_dispatcher.fallback(pcm, end.outcome.error, TakeDispatcher::v3Texts);
    }
}

void SpeechEngine::dispatch(const QString& fileURL, const std::optional<QByteArray>& wavData, const STTContext& context)
{
    m_dispatcher.dispatch(fileURL, wavData, context);
}

void SpeechEngine::transcribeApple(const QString& fileURL)
{
    m_takeBackend = QString::fromLatin1(SpeechBackends::onDeviceId);
    const QString locale = recognizerLocale();
    if (!m_devices.recognizer->isAvailable() || locale.isEmpty()) {
        m_dispatcher.reportError(QStringLiteral("Speech recognizer unavailable"));
        return;
    }
    m_onDevice.recognize(fileURL, locale, m_pendingContext.hotwords().keys());
}

QCoro::Task<> SpeechEngine::transcribeCloud(QString fileURL, std::optional<QByteArray> wavData, STTContext context)
{
    QByteArray wav;
    if (wavData) {
        wav = *wavData;
    } else if (std::optional<QByteArray> file
        = common::BoundedFile::read(fileURL, CloudTranscribeClient::maxWavFileBytes)) {
        wav = std::move(*file);
    } else {
        m_dispatcher.reportError(QStringLiteral("Failed to read audio file"));
        co_return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    const quint64 take = m_take;
    m_takeBackend = QString::fromLatin1(SpeechBackends::cloudId);
    const auto outcome = co_await m_upload.transcribe(wav, std::move(context), m_cloudToken, m_cloudWorkerURL);
    if (alive.expired() || take != m_take) {
        co_return;
    }
    if (const auto* transcript = std::get_if<CloudTranscribeClient::Transcript>(&outcome)) {
        // An unreadable balance is unknown, not a change.
        if (transcript->minutesRemaining) {
            m_cloudMinutesLeft = *transcript->minutesRemaining;
            if (onCloudMinutesUpdate) {
                onCloudMinutesUpdate(m_cloudMinutesLeft);
            }
        }
        m_dispatcher.deliverText(transcript->text);
        co_return;
    }
    const CloudSTTError& error = std::get<CloudSTTError>(outcome);
    switch (error.kind()) {
    case CloudSTTError::Kind::AuthError:
        if (onCloudAuthError) {
            onCloudAuthError(error.message().isEmpty() ? QStringLiteral("unauthorized") : error.message());
        }
        m_dispatcher.reportError(error.description());
        break;
    case CloudSTTError::Kind::QuotaExceeded:
        m_cloudMinutesLeft = 0;
        if (onCloudMinutesUpdate) {
            onCloudMinutesUpdate(0);
        }
        setActiveBackendId(QString::fromLatin1(SpeechBackends::onDeviceId));
        transcribeApple(fileURL);
        break;
    default:
        transcribeApple(fileURL);
        break;
    }
}

void SpeechEngine::transcribePCM(const QByteArray& pcm, int sampleRate)
{
    const bool takeRate = sampleRate > 15999;
    const QByteArray wav = CloudTranscribe::buildWAV(
        takeRate ? pcm : CloudTranscribe::resample8to16(pcm), takeRate ? sampleRate : sampleRate * 2);
    QString problem;
    const std::optional<QString> path = m_files.write(QString::fromLatin1(deviceTakeFileStem), wav, &problem);
    if (!path) {
        onLog(QStringLiteral("Speech: ") + problem, common::LogColor::Orange);
        // The upload goes from the bytes; the on-device recogniser, the upload's fallback included, needs the file.
        if (!TakeDispatcher::uploads(effectiveBackendId(), m_cloudToken)) {
            m_dispatcher.reportError(QStringLiteral("Failed to write audio file: ") + problem);
            return;
        }
    }
    dispatch(path.value_or(QString()), wav, m_pendingContext);
}

double SpeechEngine::secondsSinceStart() const
{
    return m_startMs ? static_cast<double>(m_clock.monotonicMs() - *m_startMs) / 1000.0 : 0.0;
}

QString SpeechEngine::recognizerLocale() const
{
    if (!m_devices.recognizer) {
        return {};
    }
    const QString current = m_localeIdentifier ? m_localeIdentifier() : QString();
    if (m_devices.recognizer->supportsLocale(current)) {
        return current;
    }
    // A language the recogniser has no model for is asked for all the same, so that the take ends in the
    // recogniser's own refusal ("On-device recognition is not available for de-DE") instead of being heard as
    // another language. Only a locale that names no language (C, POSIX) takes the fallbacks.
    if (const QString language = platform::LocaleTag::language(current);
        (language.size() == 2 || language.size() == 3) && language != QLatin1String("c")) {
        return current;
    }
    for (const char* locale : recognizerFallbackLocales) {
        if (m_devices.recognizer->supportsLocale(QLatin1String(locale))) {
            return QLatin1String(locale);
        }
    }
    return {};
}

void SpeechEngine::partial(const QString& text)
{
    if (onPartialText) {
        onPartialText(text);
    }
}

} // namespace murmeli::voice
