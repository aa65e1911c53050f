#pragma once

#include <optional>

#include <QStringList>

namespace murmeli::app {

/// The small helpers the agent installer runs (`murmeli hooks secret|install|uninstall`), the device console
/// (`murmeli device console`), `murmeli say`, and the usage (`help`, `--help`, `-h`) and version (`--version`).
/// Returns the exit status when the arguments named one of them, nullopt when murmeli should start normally.
std::optional<int> runCommandLine(const QStringList& arguments);

/// Whether word asks only for the usage or the version, which are printed without starting anything.
bool isInformationRequest(const QString& word);

} // namespace murmeli::app
