#pragma once

#include <initializer_list>
#include <memory>

#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"

namespace murmeli::test {

/// The hook scripts as the source tree holds them.
inline const QString hookScripts = QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/");

/// The environment a hook script runs in to reach the murmeli on that port, writing into that status directory.
inline QProcessEnvironment environmentFor(quint16 port, const QString& statusDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MURMELI_PORT"), QString::number(port));
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), statusDir);
    return environment;
}

/// Skips the test that needs a tool not installed, or fails it where CI must run it; the caller then returns.
inline void needTools(std::initializer_list<const char*> tools)
{
    for (const char* tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            if (qEnvironmentVariableIsSet("MURMELI_CI")) {
                FAIL() << tool << " is not installed, and CI must run this test";
            }
            GTEST_SKIP() << tool << " is not installed";
        }
    }
}

/// murmeli in this process, with its own status directory and no secret, collecting its log lines. Given the folder
/// and hook port of one that ran before, it is that murmeli started again.
struct RunningMurmeli {
    explicit RunningMurmeli(const QTemporaryDir* before = nullptr, quint16 port = 0)
        : controller(controllerDependencies(before ? *before : root, std::make_shared<platform::FakeSecretStore>(),
            std::make_shared<common::SystemClock>(), port))
    {
        controller.onLog = [this](const QString& message, common::LogColor) { lines << message; };
        controller.startBackend(QString());
    }

    QTemporaryDir root;
    app::AppController controller;
    QStringList lines;
};

} // namespace murmeli::test
