#pragma once

#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/audio/fake/FakeAudioPlayer.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "tests/support/FakeTTS.h"

namespace murmeli::test {

/// One fake desktop serving every desktop facility.
inline platform::DesktopServices fakeDesktopServices(
    std::shared_ptr<platform::FakeDesktop> desktop = std::make_shared<platform::FakeDesktop>())
{
    return { desktop, desktop, desktop, desktop, desktop };
}

/// Dependencies that keep a controller under test away from the real status directory, process table and desktop.
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
    // A microphone that is always there and silent, keys, windows and a clipboard of a desktop of its own, and a
    // push-to-talk log and takes away from the user's: nothing reaches the machine's sound server or display.
    dependencies.audioCapture = [] { return std::make_unique<platform::FakeAudioCapture>(); };
    dependencies.desktop = [] { return fakeDesktopServices(); };
    dependencies.pttLogDirectory = root.path() + QStringLiteral("/ptt-logs");
    dependencies.takeDirectory = root.path();
    return dependencies;
}

} // namespace murmeli::test
