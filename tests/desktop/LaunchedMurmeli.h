#pragma once

#include <functional>
#include <memory>

#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/app/AppDelegate.h"
#include "main/app/views/WidgetShellViews.h"
#include "main/device/tts/SayTTSBackend.h"
#include "main/settings/onboarding/OnboardingController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"

namespace murmeli::test {

/// murmeli as it starts on the desktop, with its windows in Qt Widgets and its files in a temporary folder: the
/// launch has run when this is built, as a first run or as a later one after onboarding was finished.
struct LaunchedMurmeli {
    /// Changes what the controller is built with (its clock, the cloud's address) before the launch.
    using Adjust = std::function<void(app::AppController::Dependencies&)>;

    explicit LaunchedMurmeli(const Adjust& adjust = {}, bool onboarded = true) : controller(dependencies(root, adjust))
    {
        if (onboarded) {
            settings::OnboardingController::markCompleted(controller.defaults());
        }
        delegate.applicationDidFinishLaunching();
    }

    // The test's files, and the speech synthesiser murmeli ships, so the windows show what a user sees.
    static app::AppController::Dependencies dependencies(const QTemporaryDir& root, const Adjust& adjust = {})
    {
        app::AppController::Dependencies result = controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
        result.ttsBackend = [] { return std::make_shared<device::SayTTSBackend>(); };
        if (adjust) {
            adjust(result);
        }
        return result;
    }

    QTemporaryDir root;
    app::AppController controller;
    app::WidgetShellViews views;
    app::AppDelegate delegate { controller, views, QStringLiteral("/usr/bin/murmeli"),
        QStringLiteral(MURMELI_SOURCE_DIR "/fonts") };
};

} // namespace murmeli::test
