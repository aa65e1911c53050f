#pragma once

#include <QMap>
#include <QString>

namespace murmeli::voice {

/// What the polish reads from the speech engine when a take asks for it.
class EngineStateProvider {
public:
    EngineStateProvider() = default;
    virtual ~EngineStateProvider() = default;
    EngineStateProvider(const EngineStateProvider&) = delete;
    EngineStateProvider& operator=(const EngineStateProvider&) = delete;

    /// The cloud session token; "" when signed out.
    virtual QString cloudToken() const = 0;
    /// The cloud worker's base address.
    virtual QString cloudWorkerURL() const = 0;
    /// The backend the next take goes to.
    virtual QString effectiveBackendId() const = 0;
    /// The hotwords of the pending recognition context, with their weights.
    virtual QMap<QString, int> currentHotwords() const = 0;
};

} // namespace murmeli::voice
