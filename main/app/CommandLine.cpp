#include "main/app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QLockFile>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "main/app/console/DeviceConsole.h"
#include "main/app/console/SayCommand.h"
#include "main/app/shell/InstanceChannel.h"
#include "main/common/AppVersion.h"
#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/install/AgentSettingsEditor.h"
#include "main/hooks/install/ClaudeSettingsEditor.h"
#include "main/hooks/server/StoredHookSecret.h"
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

std::optional<QString> option(const Invocation& invocation, const char* name)
{
    const auto found = invocation.options.constFind(QLatin1String(name));
    return found == invocation.options.cend() ? std::nullopt : std::optional<QString>(*found);
}

// Every command, by the words that name it, with the options it takes ("--name VALUE"); say's words after its
// options are its text, which SayCommand reads.
struct Form {
    QString command;
    QStringList options;
};

const std::vector<Form>& forms()
{
    // A session manager starts murmeli again with Qt's "-session ID", which Qt itself takes; murmeli has no session
    // of its own to restore.
    static const std::vector<Form> all {
        { {}, { QStringLiteral("-session ID") } },
        { QStringLiteral("settings"), { QStringLiteral("-session ID") } },
        { QStringLiteral("help"), {} },
        { QStringLiteral("--help"), {} },
        { QStringLiteral("-h"), {} },
        { QStringLiteral("--version"), {} },
        { QStringLiteral("hooks secret"), {} },
        { QStringLiteral("hooks forget-secret"), {} },
        { QStringLiteral("hooks install"),
            { QStringLiteral("--agent NAME"), QStringLiteral("--hooks-dir DIR"), QStringLiteral("--settings FILE") } },
        { QStringLiteral("hooks uninstall"), { QStringLiteral("--agent NAME"), QStringLiteral("--settings FILE") } },
        { QStringLiteral("device console"), { QStringLiteral("--name TEXT"), QStringLiteral("--timeout SECONDS") } },
        { QStringLiteral("say"), {} },
    };
    return all;
}

// The option of form that word names, as spelled there ("--name VALUE"); null when it takes none of that name.
const QString* optionNamed(const Form& form, const QString& word)
{
    const auto known = std::find_if(form.options.cbegin(), form.options.cend(),
        [&word](const QString& spelled) { return spelled.section(QLatin1Char(' '), 0, 0) == word; });
    return known == form.options.cend() ? nullptr : &*known;
}

// The form named by the most leading words; the start form, which no word names, when none is.
const Form& formOf(const QStringList& words)
{
    const Form* best = &forms().front();
    qsizetype bestLength = 0;
    for (const Form& form : forms()) {
        const QStringList named = form.command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (named.size() > bestLength && words.mid(0, named.size()) == named) {
            best = &form;
            bestLength = named.size();
        }
    }
    return *best;
}

// What is wrong with words that name no command: a group's missing or unknown command, or an unknown first word.
QString unknownCommand(const QStringList& words)
{
    const QString first = words.constFirst();
    for (const Form& form : forms()) {
        if (form.command.startsWith(first + QLatin1Char(' '))) {
            return words.size() == 1 ? QStringLiteral("%1: missing command").arg(first)
                                     : QStringLiteral("unknown command: %1 %2").arg(first, words.at(1));
        }
    }
    return first.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option: ") + first
                                              : QStringLiteral("unknown command: ") + first;
}

// The values the options' names alone cannot vouch for.
std::optional<QString> valueProblem(const Invocation& invocation)
{
    const QString& command = invocation.command;
    if (command == QLatin1String("hooks install") || command == QLatin1String("hooks uninstall")) {
        const QString agent = option(invocation, "--agent").value_or(QStringLiteral("claude"));
        const hooks::AgentAdapter* row = hooks::AgentAdapters::withAgent(agent);
        const bool openClaw = row != nullptr && row->id == hooks::AgentAdapter::ID::OpenClaw;
        if (agent != QLatin1String("claude") && !openClaw && !hooks::AgentHookProfiles::find(agent)) {
            return QStringLiteral("%1: unknown agent %2").arg(command, agent);
        }
        if (command == QLatin1String("hooks install") && !openClaw
            && option(invocation, "--hooks-dir").value_or(QString()).isEmpty()) {
            return QStringLiteral("%1: missing --hooks-dir DIR").arg(command);
        }
    }
    if (command == QLatin1String("device console")) {
        if (option(invocation, "--name").value_or(QStringLiteral("murmeli")).isEmpty()) {
            return QStringLiteral("device console: --name needs TEXT");
        }
        bool valid = true;
        const QString timeout = option(invocation, "--timeout").value_or(QString::number(defaultConsoleSeconds));
        if (timeout.toInt(&valid) <= 0 || !valid) {
            return QStringLiteral("device console: --timeout needs SECONDS, a whole number above 0, not \"%1\"")
                .arg(timeout);
        }
    }
    QString problem;
    if (command == QLatin1String("say") && !SayCommand::parse(invocation.text, &problem)) {
        return QStringLiteral("say: ") + problem;
    }
    return std::nullopt;
}

QString defaultSettingsPath()
{
    return hooks::StatusFiles::agentSettingsPath();
}

// The hook secret wherever an install may have kept it; a new one goes where every install finds it.
platform::KeychainStore hookSecrets()
{
    return platform::KeychainStore(platform::makeHookSecretStore(platform::makeSecretStore()));
}

// A stored copy that cannot be used is the user's to mend: one made in its place would leave murmeli and the hooks
// holding different secrets, and what the user kept there would be gone.
int refuseToReplace()
{
    printLine(stderr,
        QStringLiteral("murmeli: no hook secret was made, so as not to replace the stored one that cannot be used: "
                       "mend it (a file of your own with mode 0600 that holds the secret on one line) or remove it, "
                       "then install the hooks again"));
    return 1;
}

// Prints the hook secret, creating and storing one when none is stored yet. Installers running at once must all
// print the secret that ends up stored, so it is created under a lock and looked for again once the lock is held.
// The secret is read as murmeli's hook server reads it, and what that repaired or refused is told to the installer.
int secret()
{
    platform::KeychainStore keychain = hookSecrets();
    const hooks::StoredHookSecret stored = hooks::StoredHookSecret::read(keychain);
    for (const platform::SecretNotice& notice : stored.notices) {
        printLine(stderr, QStringLiteral("murmeli: ") + hooks::StoredHookSecret::describe(notice));
    }
    QString value = stored.secrets.value(0);
    if (!value.isEmpty()) {
        printLine(stdout, value);
        return 0;
    }
    if (stored.refused()) {
        return refuseToReplace();
    }
    const QString directory
        = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/murmeli");
    QLockFile lock(directory + QStringLiteral("/hook-secret.lock"));
    if (!QDir().mkpath(directory) || !lock.tryLock(secretLockWaitMs)) {
        printLine(stderr, QStringLiteral("murmeli: could not lock %1 to create the hook secret").arg(directory));
        return 1;
    }
    const hooks::StoredHookSecret locked = hooks::StoredHookSecret::read(keychain);
    value = locked.secrets.value(0);
    if (value.isEmpty() && locked.refused()) {
        return refuseToReplace();
    }
    if (value.isEmpty()) {
        value = hooks::StoredHookSecret::fresh();
        if (!keychain.save(
                QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), value)) {
            printLine(stderr, QStringLiteral("murmeli: could not store the hook secret"));
            return 1;
        }
    }
    printLine(stdout, value);
    return 0;
}

int forget()
{
    platform::KeychainStore keychain = hookSecrets();
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
int agentHooks(const Invocation& invocation, const QString& agent, bool installing)
{
    const auto directory = option(invocation, "--hooks-dir");
    const auto settings = option(invocation, "--settings");
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
    // The command line was checked: the agent has a profile, and an install its folder.
    const std::optional<hooks::AgentHookProfile> profile = hooks::AgentHookProfiles::find(agent);
    return report(installing
            ? hooks::AgentSettingsEditor::installIntoFile(settingsPath(), *profile, *directory, &message, record)
            : hooks::AgentSettingsEditor::removeFromFile(settingsPath(), &message, record),
        message);
}

// Finds the device, prints what it sends and sends what the user types, until the input ends or the link drops.
int deviceConsole(const Invocation& invocation)
{
    const QString name = option(invocation, "--name").value_or(QStringLiteral("murmeli"));
    const int seconds = option(invocation, "--timeout").value_or(QString::number(defaultConsoleSeconds)).toInt();
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
    // The words were checked with the command line.
    const std::optional<SayCommand::Request> request = SayCommand::parse(words);
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

std::variant<Invocation, QString> parseCommandLine(const QStringList& arguments)
{
    const QStringList words = arguments.mid(1);
    const Form& form = formOf(words);
    const qsizetype named = form.command.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    if (named == 0 && !words.isEmpty() && optionNamed(form, words.constFirst()) == nullptr) {
        return unknownCommand(words);
    }
    Invocation invocation;
    invocation.command = form.command;
    const QStringList rest = words.mid(named);
    const bool takesText = form.command == QLatin1String("say");
    if (takesText) {
        invocation.text = rest;
    }
    for (qsizetype at = 0; !takesText && at < rest.size(); ++at) {
        const QString& word = rest.at(at);
        const QString* known = optionNamed(form, word);
        const QString prefix = form.command.isEmpty() ? QString() : form.command + QStringLiteral(": ");
        if (known == nullptr) {
            return prefix
                + (word.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option ") + word
                                                     : QStringLiteral("unexpected argument ") + word);
        }
        if (invocation.options.contains(word)) {
            return prefix + word + QStringLiteral(" given twice");
        }
        if (at + 1 >= rest.size()) {
            return prefix + word + QStringLiteral(" needs ") + known->section(QLatin1Char(' '), 1);
        }
        invocation.options.insert(word, rest.at(++at));
    }
    if (const std::optional<QString> problem = valueProblem(invocation)) {
        return *problem;
    }
    return invocation;
}

bool startsMurmeli(const Invocation& invocation)
{
    return invocation.command.isEmpty() || invocation.command == QLatin1String("settings");
}

QString handOverRequest(const Invocation& invocation)
{
    // A session manager restores murmeli beside its autostart entry at every login: the murmeli already running is
    // the one the user wants, with no window opened at them.
    if (invocation.options.contains(QStringLiteral("-session"))) {
        return QString::fromLatin1(InstanceChannel::restoreRequest);
    }
    return QString::fromLatin1(invocation.command == QLatin1String("settings") ? InstanceChannel::showSettingsRequest
                                                                               : InstanceChannel::showRequest);
}

int reportUsageError(const QString& problem)
{
    printLine(stderr, QStringLiteral("murmeli: ") + problem);
    std::fputs(usage, stderr);
    return exitUsage;
}

int runCommandLine(const Invocation& invocation)
{
    const QString& command = invocation.command;
    if (command == QLatin1String("--version")) {
        printLine(stdout, QStringLiteral("murmeli ") + QString::fromLatin1(common::APP_VERSION));
        return 0;
    }
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (command == QLatin1String("say")) {
        return say(invocation.text);
    }
    if (command == QLatin1String("device console")) {
        return deviceConsole(invocation);
    }
    if (command == QLatin1String("hooks secret")) {
        return secret();
    }
    if (command == QLatin1String("hooks forget-secret")) {
        return forget();
    }
    const bool installing = command == QLatin1String("hooks install");
    if (!installing && command != QLatin1String("hooks uninstall")) {
        return reportUsageError(QStringLiteral("not a helper: ") + command);
    }
    if (const auto agent = option(invocation, "--agent"); agent && *agent != QLatin1String("claude")) {
        return agentHooks(invocation, *agent, installing);
    }
    const QString settings = option(invocation, "--settings").value_or(defaultSettingsPath());
    const hooks::InstallRecord record(hooks::InstallRecord::defaultPath());
    QString message;
    return report(installing ? hooks::ClaudeSettingsEditor::installIntoFile(
                      settings, *option(invocation, "--hooks-dir"), &message, record)
                             : hooks::ClaudeSettingsEditor::removeFromFile(settings, &message, record),
        message);
}

} // namespace murmeli::app
