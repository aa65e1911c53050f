#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace murmeli::usage {

/// The command gate of the usage reader: a row is the usage tool's name and its arguments, never a shell line.
class CodexBarCommand final {
public:
    static constexpr auto toolName = "codexbar";

    /// The row's arguments after the tool's name: the trimmed text split on white space, without any shell
    /// meaning (quotes, $ and ; are plain characters). nullopt when the first word is not exactly "codexbar".
    static std::optional<QStringList> arguments(const QString& row);
    static bool passesGate(const QString& row) { return arguments(row).has_value(); }

    /// The folders of $PATH, then the usual per-user and local install places.
    static QStringList defaultSearchDirectories();
    /// The tool's path in the first of directories that holds an executable of that name; empty when none does.
    /// Relative folders are skipped, so the working directory never supplies the tool.
    static QString locate(const QStringList& directories);
};

} // namespace murmeli::usage
