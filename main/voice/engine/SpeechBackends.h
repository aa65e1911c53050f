#pragma once

#include <optional>

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

/// The recognition backends, their names, and the rules that decide where a take goes. The ids are stored in the
/// user's settings, so they never change.
namespace murmeli::voice::SpeechBackends {

/// The on-device recogniser.
inline constexpr auto onDeviceId = "apple-stt";
/// The cloud service as the user picks it: an upload after the take, or streamed when streaming is preferred.
inline constexpr auto cloudId = "murmeli-cloud";
/// The cloud service streamed during the take; never offered in the picker, it follows from the preference.
inline constexpr auto cloudStreamingId = "cloud-streaming";
/// The model the older streaming protocol asks for.
inline constexpr auto cloudStreamingModel = "paraformer-realtime-v2";

/// The computer's microphone.
inline constexpr auto localMicSource = "local";
/// The push-to-talk device's microphone.
inline constexpr auto bleMicSource = "ble";

/// One row of the backend picker.
struct BackendChoice {
    QString id;
    QString name;

    bool operator==(const BackendChoice&) const = default;
};

/// Every id a take can be routed to, on-device first.
const QStringList& backendIds();
/// The ids the picker lists.
const QStringList& visibleBackendIds();
/// Display name per id.
const QMap<QString, QString>& backendNames();
/// Ids of a cloud provider that is gone; a stored one moves to the cloud backend.
const QSet<QString>& retiredBackendIds();
/// Ids switched off in this build; a stored one moves to the on-device recogniser. None today.
const QSet<QString>& disabledBackends();
/// The picker's rows: the visible ids that have a name, in order.
QList<BackendChoice> visibleBackendsForUI();

/// The microphone sources, device first.
const QStringList& micSourceIds();
/// Display name per microphone source.
const QMap<QString, QString>& micSourceNames();

/// Where a take goes: the cloud backend becomes the streaming one when streaming is preferred; every other id,
/// a stored streaming id included, stays as it is.
QString effectiveBackendId(const QString& activeBackendId, bool preferStreaming);

/// What loading makes of the stored backend id.
struct StoredBackend {
    QString id;
    /// The stored id was retired: the new id is written back and the migration flagged.
    bool migratedFromRetired = false;

    bool operator==(const StoredBackend&) const = default;
};

/// A missing id means the cloud; a retired one migrates to it; a disabled one falls back to the on-device
/// recogniser; an unknown one means the cloud for this run without being rewritten.
StoredBackend resolveStoredBackend(const std::optional<QString>& storedId);

/// The effective backend's display name; the on-device recogniser's carries the locale identifier it listens in.
QString describeBackend(const QString& effectiveId, const QString& localeIdentifier);

} // namespace murmeli::voice::SpeechBackends
