#pragma once

#include <optional>

#include <QStringList>

namespace murmeli::app {

/// The small helpers the agent installer runs (`murmeli hooks secret|install|uninstall`), the device console
/// (`murmeli device console`) and `murmeli say`. Returns the exit status when the arguments named one of them, nullopt
/// when murmeli should start normally.
std::optional<int> runCommandLine(const QStringList& arguments);

} // namespace murmeli::app
