#include "main/app/CommandLine.h"

#include <cstdio>
#include <memory>

#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QLockFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "main/app/console/DeviceConsole.h"
#include "main/app/console/SayCommand.h"
#include "main/common/AppVersion.h"
#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/install/AgentSettingsEditor.h"
#include "main/hooks/install/ClaudeSettingsEditor.h"
#include "main/hooks/sessions/StatusFiles.h"
#include "platform/ble/BleTransportFactory.h"
#include "platform/secrets/KeychainStore.h"
#include "platform/secrets/SecretStoreFactory.h"

namespace murmeli::app {

namespace {

constexpr int exitUsage = 64;
// Creating the secret takes milliseconds; a lock held longer belongs to a helper that hangs.
constexpr int secretLockWaitMs = 10000;

// How long the console looks for the device and waits for it to connect before it gives up.
constexpr int defaultConsoleSeconds = 60;

const char* usage = "usage: murmeli                 starts murmeli, or shows the murmeli already running\n"
                    "       murmeli settings        opens the settings window, in the murmeli already running if any\n"
                    "       murmeli --help | --version\n"
                    "       murmeli hooks secret\n"
                    "       murmeli hooks install [--agent NAME] --hooks-dir DIR [--settings FILE]\n"
                    "       murmeli hooks uninstall [--agent NAME] [--settings FILE]\n"
                    "       murmeli hooks forget-secret\n"
                    "       murmeli device console [--name TEXT] [--timeout SECONDS]\n"
                    "       murmeli say [--wav FILE] [--] TEXT\n";

void printLine(FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

std::optional<QString> option(const QStringList& arguments, const QString& name)
{
    const qsizetype at = arguments.indexOf(name);
    if (at < 0 || at + 1 >= arguments.size()) {
        return std::nullopt;
    }
    return arguments.at(at + 1);
}

QString defaultSettingsPath()
{
    return hooks::StatusFiles::agentSettingsPath();
}

// Prints the hook secret, creating and storing one when none is stored yet. Installers running at once must all
// print the secret that ends up stored, so it is created under a lock and looked for again once the lock is held.
int secret()
{
    platform::KeychainStore keychain(platform::makeSecretStore());
    const QString service = QString::fromLatin1(platform::KeychainStore::hookAuthService);
    const QString account = QStringLiteral("secret");
    QString value = keychain.load(service, account);
    if (!value.isEmpty()) {
        printLine(stdout, value);
        return 0;
    }
    const QString directory
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/murmeli");
    QLockFile lock(directory + QStringLiteral("/hook-secret.lock"));
    if (!QDir().mkpath(directory) || !lock.tryLock(secretLockWaitMs)) {
        printLine(stderr, QStringLiteral("murmeli: could not lock %1 to create the hook secret").arg(directory));
        return 1;
    }
    value = keychain.load(service, account);
    if (value.isEmpty()) {
        QByteArray random(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        value = QString::fromLatin1(random.toHex());
        if (!keychain.save(service, account, value)) {
            printLine(stderr, QStringLiteral("murmeli: could not store the hook secret"));
            return 1;
        }
    }
    printLine(stdout, value);
    return 0;
}

int forget()
{
    platform::KeychainStore keychain(platform::makeSecretStore());
    return keychain.remove(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret")) ? 0
                                                                                                                    : 1;
}

int report(hooks::ClaudeSettingsEditor::Outcome outcome, const QString& message)
{
    using Outcome = hooks::ClaudeSettingsEditor::Outcome;
    const bool ok = outcome == Outcome::Unchanged || outcome == Outcome::Written;
    printLine(ok ? stdout : stderr, QStringLiteral("murmeli: ") + message);
    return ok ? 0 : 1;
}

// The other agents' installers: NAME is an agent of the hook profiles, or "openclaw", whose configuration only
// switches our hook pack on and off. Without --settings the agent's file is found as its installer finds it.
int agentHooks(const QStringList& arguments, const QString& agent, bool installing)
{
    const auto directory = option(arguments, QStringLiteral("--hooks-dir"));
    const auto settings = option(arguments, QStringLiteral("--settings"));
    const hooks::AgentAdapter* row = hooks::AgentAdapters::withAgent(agent);
    const auto settingsPath = [&] {
        return settings.value_or(row->settingsPath(QDir::homePath(), QProcessEnvironment::systemEnvironment()));
    };
    QString message;
    const hooks::InstallRecord record(hooks::InstallRecord::defaultPath());
    if (row != nullptr && row->id == hooks::AgentAdapter::ID::OpenClaw) {
        const QString pack = QStringLiteral("murmeli");
        return report(hooks::SettingsFileEdit::edit(
                          settingsPath(),
                          [&](hooks::JsonText& config, QString* problem) {
                              if (installing) {
                                  return hooks::AgentSettingsEditor::enableOpenClawPack(config, pack, problem);
                              }
                              hooks::AgentSettingsEditor::removeOpenClawPack(config, pack);
                              return true;
                          },
                          &message, record),
            message);
    }
    const std::optional<hooks::AgentHookProfile> profile = hooks::AgentHookProfiles::find(agent);
    if (!profile || (installing && (!directory || directory->isEmpty()))) {
        std::fputs(usage, stderr);
        return exitUsage;
    }
    return report(installing
            ? hooks::AgentSettingsEditor::installIntoFile(settingsPath(), *profile, *directory, &message, record)
            : hooks::AgentSettingsEditor::removeFromFile(settingsPath(), &message, record),
        message);
}

// Finds the device, prints what it sends and sends what the user types, until the input ends or the link drops.
int deviceConsole(const QStringList& arguments)
{
    const QString name = option(arguments, QStringLiteral("--name")).value_or(QStringLiteral("murmeli"));
    bool valid = true;
    const int seconds
        = option(arguments, QStringLiteral("--timeout")).value_or(QString::number(defaultConsoleSeconds)).toInt(&valid);
    if (name.isEmpty() || !valid || seconds <= 0) {
        std::fputs(usage, stderr);
        return exitUsage;
    }
    const std::unique_ptr<platform::BleTransport> transport = platform::makeBleTransport();
    DeviceConsole console(*transport, name);
    console.onOutput = [](const QString& text) {
        printLine(stdout, text);
        std::fflush(stdout);
    };
    std::optional<int> status;
    QEventLoop loop;
    console.onFinished = [&status, &loop](int code) {
        status = code;
        loop.quit();
    };

    QByteArray typed;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &console, [&typed, &input, &console] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            console.inputClosed();
            return;
        }
        typed.append(buffer, got);
        qsizetype end = 0;
        while ((end = typed.indexOf('\n')) >= 0) {
            console.send(QString::fromUtf8(typed.left(end)).remove(QLatin1Char('\r')));
            typed.remove(0, end + 1);
        }
    });
    QTimer::singleShot(seconds * 1000, &console, [&console] { console.giveUp(); });

    console.start();
    if (!status) {
        loop.exec();
    }
    return status.value_or(1);
}

// Speaks the text, or writes its WAV, and returns once the sound has ended.
int say(const QStringList& words)
{
    const std::optional<SayCommand::Request> request = SayCommand::parse(words);
    if (!request) {
        std::fputs(usage, stderr);
        return SayCommand::exitUsage;
    }
    SayCommand command;
    command.onError = [](const QString& line) { printLine(stderr, line); };
    std::optional<int> status;
    QEventLoop loop;
    [](SayCommand& running, SayCommand::Request what, std::optional<int>& out, QEventLoop& done) -> QCoro::Task<> {
        out = co_await running.run(std::move(what));
        done.quit();
    }(command, *request, status, loop);
    if (!status) {
        loop.exec();
    }
    return status.value_or(1);
}

} // namespace

bool isInformationRequest(const QString& word)
{
    return word == QLatin1String("help") || word == QLatin1String("--help") || word == QLatin1String("-h")
        || word == QLatin1String("--version");
}

std::optional<int> runCommandLine(const QStringList& arguments)
{
    if (const QString word = arguments.value(1); isInformationRequest(word)) {
        if (word == QLatin1String("--version")) {
            printLine(stdout, QStringLiteral("murmeli ") + QString::fromLatin1(common::APP_VERSION));
        } else {
            std::fputs(usage, stdout);
        }
        return 0;
    }
    if (arguments.value(1) == QLatin1String("say")) {
        return say(arguments.mid(2));
    }
    if (arguments.value(1) == QLatin1String("device")) {
        if (arguments.value(2) == QLatin1String("console")) {
            return deviceConsole(arguments);
        }
        std::fputs(usage, stderr);
        return exitUsage;
    }
    if (arguments.size() < 2 || arguments.at(1) != QLatin1String("hooks")) {
        return std::nullopt;
    }
    const QString command = arguments.value(2);
    if (const auto agent = option(arguments, QStringLiteral("--agent")); agent && *agent != QLatin1String("claude")
        && (command == QLatin1String("install") || command == QLatin1String("uninstall"))) {
        return agentHooks(arguments, *agent, command == QLatin1String("install"));
    }
    const QString settings = option(arguments, QStringLiteral("--settings")).value_or(defaultSettingsPath());
    const hooks::InstallRecord record(hooks::InstallRecord::defaultPath());
    QString message;
    if (command == QLatin1String("secret")) {
        return secret();
    }
    if (command == QLatin1String("forget-secret")) {
        return forget();
    }
    if (command == QLatin1String("install")) {
        const auto directory = option(arguments, QStringLiteral("--hooks-dir"));
        if (!directory || directory->isEmpty()) {
            std::fputs(usage, stderr);
            return exitUsage;
        }
        return report(hooks::ClaudeSettingsEditor::installIntoFile(settings, *directory, &message, record), message);
    }
    if (command == QLatin1String("uninstall")) {
        return report(hooks::ClaudeSettingsEditor::removeFromFile(settings, &message, record), message);
    }
    std::fputs(usage, stderr);
    return exitUsage;
}

} // namespace murmeli::app
