#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/voice/capture/BatchRecording.h"
#include "main/voice/capture/DeviceAudioStream.h"
#include "main/voice/capture/MicrophoneCapture.h"
#include "main/voice/capture/TakeFiles.h"
#include "main/voice/context/STTContext.h"
#include "main/voice/dispatch/OnDeviceRecognition.h"
#include "main/voice/dispatch/TakeDispatcher.h"
#include "main/voice/engine/AudioProfile.h"
#include "main/voice/engine/EnterMode.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/enhance/EngineStateProvider.h"
#include "main/voice/enhance/SpeechEnhancer.h"
#include "main/voice/preferences/SpeechSettings.h"
#include "main/voice/service/CloudTranscribeClient.h"
#include "main/voice/service/EnhanceSocketTransport.h"
#include "main/voice/streaming/AudioPump.h"
#include "main/voice/streaming/CloudSocketSession.h"
#include "main/voice/streaming/RunTaskStreamer.h"
#include "main/voice/streaming/StreamingSessionKeeper.h"
#include "main/voice/streaming/V3TurnDriver.h"
#include "platform/defaults/Defaults.h"
#include "platform/net/NetworkSession.h"
#include "platform/recognizer/SpeechRecognizer.h"

namespace murmeli::voice {

/// The one object that records, streams and transcribes a push-to-talk take; the controller owns it and drives it
/// on the main thread. A take's outcome leaves it only through onPartialText, onResult and onError.
///
/// The engine routes; the work sits in members of their own types: the persisted choices in SpeechSettings, the
/// backend table and its rules in SpeechBackends, the recognition context in STTContext. The cloud socket side
/// (proxy, network session, pre-connection, connection test), the upload client and the enhancer join the same way,
/// each as one member reading the settings and credentials below. A take's parts: the microphone (MicrophoneCapture,
/// BatchRecording), the pump that cuts its PCM into pieces (AudioPump), the two streaming protocols (RunTaskStreamer
/// for the older endpoint, V3TurnDriver for turns of the long-lived session its StreamingSessionKeeper holds) and the
/// end of every take (TakeDispatcher).
class SpeechEngine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpeechEngine)

public:
    using AudioProfile = voice::AudioProfile;
    /// The locale identifier of the system, named in the on-device backend's description.
    using LocaleIdentifierSource = std::function<QString()>;

    static constexpr auto preferStreamingKey = SpeechSettings::preferStreamingKey;
    static constexpr auto customHotwordsKey = SpeechSettings::customHotwordsKey;
    static constexpr int customHotwordWeight = SpeechSettings::customHotwordWeight;
    static constexpr auto cloudStreamingId = SpeechBackends::cloudStreamingId;
    static constexpr auto cloudStreamingModel = SpeechBackends::cloudStreamingModel;
    /// The minutes balance before the cloud has reported one.
    static constexpr int unknownMinutes = -1;
    /// Where the on-device recogniser looks for a model when the system's locale names no language (C), in order.
    static constexpr const char* recognizerFallbackLocales[] = { "zh-CN", "en-US" };
    static constexpr auto batchTakeFileStem = "murmeli-ptt";
    static constexpr auto deviceTakeFileStem = "murmeli-ble-ptt";
    /// How long the on-device recogniser may take over one take before the take is given up as failed.
    static constexpr qint64 onDeviceLimitMs = OnDeviceRecognition::limitMs;
    /// The longest a stopped take may take to reach its outcome: the slowest cloud path's own limit (the upload's;
    /// the streaming protocols wait less for their final text), then the on-device fallback's.
    static constexpr qint64 longestOutcomeMs = CloudTranscribeClient::uploadTimeoutMs + onDeviceLimitMs;

    /// What a take is made with; each empty member stands for the platform's own.
    struct Devices final {
        /// One capture of the default input per take.
        MicrophoneCapture::Factory captureFactory;
        /// The on-device recogniser.
        std::shared_ptr<platform::SpeechRecognizer> recognizer;
        /// Where the private folder of the take files goes; the system's temporary directory when empty.
        QString tempDirectory;
        /// Makes the network sessions every cloud socket is opened from, one per proxy.
        CloudSocketSession::SessionFactory socketSessions = {};
    };

    /// Loads the persisted settings from defaults; defaults and clock must outlive the engine.
    SpeechEngine(platform::Defaults& defaults, common::Clock& clock, QObject* parent = nullptr);
    SpeechEngine(platform::Defaults& defaults, common::Clock& clock, LocaleIdentifierSource localeIdentifier,
        QObject* parent = nullptr);
    SpeechEngine(platform::Defaults& defaults, common::Clock& clock, Devices devices,
        LocaleIdentifierSource localeIdentifier = {}, QObject* parent = nullptr);
    ~SpeechEngine() override;

    // Where a take goes. Every set writes through to the user defaults.

    /// The backend the user chose; stored as given, checked when the settings load.
    const QString& activeBackendId() const { return m_settings.activeBackendId(); }
    void setActiveBackendId(const QString& id) { m_settings.setActiveBackendId(id); }
    /// Whether the cloud backend streams during the take; true unless switched off.
    bool preferStreaming() const { return m_settings.preferStreaming(); }
    void setPreferStreaming(bool prefer) { m_settings.setPreferStreaming(prefer); }
    /// The backend a take uses: the chosen one, the cloud one turned streaming when streaming is preferred.
    QString effectiveBackendId() const;
    /// The display name of the effective backend.
    QString backendDescription() const;
    /// The user's hotwords, read from the store on every call.
    QStringList customHotwords() const { return m_settings.customHotwords(); }
    void setCustomHotwords(const QStringList& hotwords) { m_settings.setCustomHotwords(hotwords); }
    /// "local" or "ble".
    const QString& activeMicSource() const { return m_settings.activeMicSource(); }
    void setActiveMicSource(const QString& source);
    /// The microphone source was set (to the value given).
    std::function<void(const QString& source)> onMicSourceChanged;
    /// Stores the profile's microphone source.
    void setAudioProfile(AudioProfile profile) { setActiveMicSource(micSourceFor(profile)); }
    EnterMode enterMode() const { return m_settings.enterMode(); }
    void setEnterMode(EnterMode mode) { m_settings.setEnterMode(mode); }

    /// Seconds of the last take.
    double lastRecordDuration() const { return m_lastRecordDuration; }
    void setLastRecordDuration(double seconds) { m_lastRecordDuration = seconds; }
    /// Whether an Enter press should follow the last take's text, by the Enter mode.
    bool shouldSendEnter() const { return sendsEnter(enterMode(), m_lastRecordDuration); }

    // The cloud credentials; the controller keeps the token in the keychain and hands it in.

    /// The bearer token of the cloud session; empty when signed out.
    const QString& cloudToken() const { return m_cloudToken; }
    void setCloudToken(const QString& token) { m_cloudToken = token; }
    /// The cloud worker's base address, to which endpoint paths are appended.
    const QString& cloudWorkerURL() const { return m_cloudWorkerURL; }
    void setCloudWorkerURL(const QString& url) { m_cloudWorkerURL = url; }
    /// The last balance the cloud reported; unknownMinutes until it has.
    int cloudMinutesLeft() const { return m_cloudMinutesLeft; }
    void setCloudMinutesLeft(int minutes) { m_cloudMinutesLeft = minutes; }
    /// Forgets the session: empty token, unknown balance.
    void resetCloudState();

    /// The cloud reported a new minutes balance.
    std::function<void(int minutesLeft)> onCloudMinutesUpdate;
    /// The cloud refused the session; the text says why.
    std::function<void(const QString& message)> onCloudAuthError;

    // The take.

    /// The recognition context the controller builds before each take.
    const STTContext& pendingContext() const { return m_pendingContext; }
    void setPendingContext(STTContext context) { m_pendingContext = std::move(context); }
    /// True while the current take streams.
    bool isStreamingMode() const { return m_isStreamingMode; }
    void setStreamingMode(bool streaming) { m_isStreamingMode = streaming; }

    /// An error or notice of a take, for the user.
    std::function<void(const QString& message)> onError;
    // The cloud side. Every cloud socket comes from the socket session (through the user's proxy); uploads and the
    // account query go out on the direct HTTP session.

    /// The WebSocket proxy, the one socket session, pre-connection and the connection test.
    CloudSocketSession& sockets() { return m_sockets; }
    /// Stores the WebSocket proxy (an empty host switches it off) and reopens the streaming session through it;
    /// returns why a bad one was refused (then nothing changes), or nullopt.
    std::optional<QString> setWebSocketProxy(const QString& host, int port);
    /// The long-lived v3 session that streaming takes are turns of, opened while signed in and streaming.
    StreamingSessionKeeper& streaming() { return m_streaming; }
    const QString& wsProxyHost() const { return m_sockets.proxyHost(); }
    int wsProxyPort() const { return m_sockets.proxyPort(); }
    std::shared_ptr<platform::NetworkSession> wsSession() { return m_sockets.wsSession(); }
    /// The batch upload to "/transcribe" and the account query.
    CloudTranscribeClient& upload() { return m_upload; }
    /// The polish of a finished take over the worker's socket.
    SpeechEnhancer& enhancer() { return m_enhancer; }

    /// A take's final text.
    std::function<void(const QString& text)> onResult;
    /// The running text while a take streams.
    std::function<void(const QString& text)> onPartialText;
    /// Diagnostics of the take paths (capture failures, the recogniser's locale).
    common::LogSink onLog;

    // Permission and takes. A take's outcome is exactly one onResult or one terminal onError (see TakeDispatcher), and
    // only the current take's: every start begins a new take and drops what is left of the one before (its
    // recognitions, its wait for a final text, its files), so a late answer of an abandoned take never reaches the
    // callbacks.

    /// Asks whether speech may be recognised: on Linux, whether there is a capture device. Answers on the main
    /// thread; a refusal also says "Speech permission denied" through onError. A batch take that finds no
    /// permission asks again before it gives up, so a microphone plugged in later is found.
    void requestPermission(std::function<void(bool granted)> completion);
    platform::RecognizerAuthorization authStatus() const { return m_authStatus; }
    /// True while the microphone is captured.
    bool isListening() const { return m_isListening; }
    /// Whether a streaming take can start: a streaming configuration exists.
    bool canStreamingRecord() const { return m_sockets.canStreamingRecord(); }
    /// Opens the older protocol's socket ahead of a take, unless the take will be a turn of the ready v3 session.
    void preconnectIfNeeded();

    /// A batch take of the microphone into a file of its own; false (and a message) when it cannot start.
    bool startRecording();
    /// Ends the batch take and hands its file to dispatch, unless it was too short.
    void stopRecording();
    /// A streaming take of the microphone: a turn of the v3 session when that is ready, else the older protocol.
    bool startStreamingRecord() { return startStreaming(true); }
    /// A streaming take fed by the device's audio frames instead of the microphone.
    bool startStreamingBLERecord() { return startStreaming(false); }
    /// One frame of the device's audio (G.711 µ-law at 8 kHz); ignored unless a streaming take runs.
    void feedStreamingBLEChunk(const QByteArray& mulaw);
    /// Ends the streaming take: too short, or finished over its protocol and delivered.
    void stopStreamingRecord();
    /// A take of the device's microphone without streaming: the device collects the audio, and the take only
    /// begins here.
    void startDeviceRecording();
    /// Ends it with the device's audio (16-bit PCM at sampleRate): too short, or transcribed as transcribePCM does.
    void stopDeviceRecording(const QByteArray& pcm, int sampleRate = 8000);
    /// Gives the current take up: capture stopped, its socket, turn and recognitions cancelled, its files removed.
    /// No outcome of it follows.
    void cancelTake();
    /// The backend that recognised the current take, or is recognising it: the path it started on, then the
    /// upload or the on-device recogniser as it was handed on.
    const QString& takeBackend() const { return m_takeBackend; }
    /// The private files of the current take.
    const TakeFiles& takeFiles() const { return m_files; }
    /// A recorded take to the upload or the on-device recogniser (see TakeDispatcher::dispatch).
    void dispatch(const QString& fileURL, const std::optional<QByteArray>& wavData, const STTContext& context);
    /// The on-device recogniser over a WAV file; the outcome through the callbacks.
    void transcribeApple(const QString& fileURL);
    /// The upload of a recorded take (the bytes, else the file's); most failures fall back to the on-device
    /// recogniser, a refused token is reported to onCloudAuthError and, so the take is not lost unseen, to onError.
    QCoro::Task<> transcribeCloud(QString fileURL, std::optional<QByteArray> wavData, STTContext context);
    /// The device's audio of a finished take (16-bit PCM, 8 kHz unless said otherwise) as a WAV take, dispatched;
    /// a file that cannot be written ends the take with the reason unless the upload can go from the bytes.
    void transcribePCM(const QByteArray& pcm, int sampleRate = 8000);

private:
    void askMicrophone(std::function<void(bool granted)> completion, int attempt);
    // What the polish reads of the engine when a take asks for it.
    class EnhanceState final : public EngineStateProvider {
    public:
        explicit EnhanceState(const SpeechEngine& engine) : m_engine(engine) { }
        QString cloudToken() const override { return m_engine.cloudToken(); }
        QString cloudWorkerURL() const override { return m_engine.cloudWorkerURL(); }
        QString effectiveBackendId() const override { return m_engine.effectiveBackendId(); }
        QMap<QString, int> currentHotwords() const override { return m_engine.pendingContext().hotwords(); }

    private:
        const SpeechEngine& m_engine;
    };

    void wireTakeParts();
    void beginTake(const char* backend);
    void endTake();
    bool startStreaming(bool captureMicrophone);
    bool startStreamingV3(Qwen3ASRStreamingSession& session, bool captureMicrophone);
    bool startCapture();
    /// The take's capture failed before it delivered anything.
    void captureFailedUnheard(const QString& error);
    /// Gives up a streaming take whose capture could not begin, saying why.
    void endStreamingStart(const QString& failure);
    void stopStreamingV3(double duration);
    void finishRunTask(std::shared_ptr<RunTaskStreamer> streamer, double duration);
    QCoro::Task<> awaitRunTask(
        quint64 take, std::shared_ptr<RunTaskStreamer> streamer, QByteArray tail, QByteArray pcm);
    QCoro::Task<> awaitTurn(quint64 take, QByteArray tail, QByteArray pcm);
    double secondsSinceStart() const;
    QString recognizerLocale() const;
    void partial(const QString& text);

    SpeechSettings m_settings;
    LocaleIdentifierSource m_localeIdentifier;
    double m_lastRecordDuration = 0;
    QString m_cloudToken;
    QString m_cloudWorkerURL;
    int m_cloudMinutesLeft = unknownMinutes;
    STTContext m_pendingContext;
    bool m_isStreamingMode = false;

    CloudSocketSession m_sockets;
    std::shared_ptr<platform::NetworkSession> m_httpSession;
    CloudTranscribeClient m_upload;
    EnhanceSocketTransport m_enhanceTransport;
    EnhanceState m_enhanceState { *this };
    SpeechEnhancer m_enhancer;

    common::Clock& m_clock;
    Devices m_devices;
    TakeFiles m_files;
    // The recognitions of the current take still running.
    OnDeviceRecognition m_onDevice;
    // The current take; work of an earlier one that comes back finds a different number and is dropped.
    quint64 m_take = 0;
    QString m_takeBackend;
    bool m_deviceRecording = false;
    platform::RecognizerAuthorization m_authStatus = platform::RecognizerAuthorization::NotDetermined;
    bool m_isListening = false;
    bool m_useQwen3V3 = false;
    std::optional<qint64> m_startMs;
    MicrophoneCapture m_microphone;
    BatchRecording m_batch;
    AudioPump m_pump;
    AudioPump::Feed m_feed;
    DeviceAudioStream m_deviceAudio;
    std::shared_ptr<RunTaskStreamer> m_runTask;
    // The run-task take whose final text is awaited, so a cancel can end the wait.
    std::weak_ptr<RunTaskStreamer> m_finishingRunTask;
    V3TurnDriver m_v3;
    TakeDispatcher m_dispatcher;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Last: its sessions go before the turn driver and the sockets they were opened on.
    StreamingSessionKeeper m_streaming;
};

} // namespace murmeli::voice
