#pragma once

#include <variant>

#include <QHash>
#include <QString>
#include <QStringList>

namespace murmeli::app {

/// What murmeli's command line asks for, once it has been found well-formed.
struct Invocation {
    /// The words that name the command, joined by single spaces: "" (start murmeli), "settings", "--version",
    /// "hooks install", "device console", "say", ...
    QString command;
    /// Each option given, with its value.
    QHash<QString, QString> options;
    /// The words after say's options.
    QStringList text;
};

/// The invocation that arguments (the program's name first) make, or what is wrong with them, naming the word that is
/// not known or the argument that is missing. Starts nothing.
std::variant<Invocation, QString> parseCommandLine(const QStringList& arguments);

/// Whether the invocation starts murmeli itself (or hands over to the one running) rather than one of the helpers.
bool startsMurmeli(const Invocation& invocation);

/// What a start that finds murmeli already running asks of it (an InstanceChannel request): a session manager's
/// restore at login ("-session ID") leaves it as it is, `murmeli settings` opens its settings window, and plain
/// `murmeli` shows it.
QString handOverRequest(const Invocation& invocation);

/// Runs one of the helpers: the small commands the agent installers run (`murmeli hooks secret|install|uninstall|
/// forget-secret`), the device console (`murmeli device console`), `murmeli say`, and the usage (`help`, `--help`,
/// `-h`) and version (`--version`). Returns the exit status.
int runCommandLine(const Invocation& invocation);

/// Prints what is wrong and the usage on standard error; the exit status of a usage error.
int reportUsageError(const QString& problem);

} // namespace murmeli::app
