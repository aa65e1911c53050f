#pragma once

#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "tests/support/FakeTTS.h"

namespace murmeli::test {

/// Dependencies that keep a controller under test away from the real status directory and process table.
inline app::AppController::Dependencies controllerDependencies(const QTemporaryDir& root,
    std::shared_ptr<platform::SecretStore> secrets, std::shared_ptr<common::Clock> clock, quint16 port = 0)
{
    app::AppController::Dependencies dependencies;
    dependencies.secrets = std::move(secrets);
    dependencies.clock = std::move(clock);
    dependencies.hookPort = port;
    dependencies.statusDirectory = root.path() + QStringLiteral("/murmeli");
    dependencies.legacyStatusPath = root.path() + QStringLiteral("/legacy-status.json");
    // No table: the start-up cleanup then judges no session dead and leaves the test's files alone.
    dependencies.processTable = []() -> QCoro::Task<std::optional<hooks::ProcessTable>> { co_return std::nullopt; };
    dependencies.defaults = std::make_shared<platform::Defaults>(root.path() + QStringLiteral("/defaults.json"));
    dependencies.agentSettingsPath = root.path() + QStringLiteral("/claude-settings.json");
    dependencies.appSettingsPath = root.path() + QStringLiteral("/murmeli-settings.json");
    // Nothing is spoken or played on the machine that runs the tests.
    dependencies.ttsBackend = [] { return std::make_shared<FakeTTSBackend>(); };
    dependencies.audioPlayer = [] { return std::make_unique<platform::FakeAudioPlayer>(); };
    return dependencies;
}

} // namespace murmeli::test
