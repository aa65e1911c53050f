#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "main/usage/CodexBarProviderUsage.h"

namespace murmeli::usage {

/// What one run of one command row came to.
struct CodexBarRowResult {
    enum class Outcome {
        InvalidCommand, // failed the command gate; nothing ran
        NotInstalled, // the tool is in none of the searched folders
        SpawnFailed,
        TimedOut,
        Crashed,
        ExitFailure, // ended with a non-zero status
        ParseFailed, // ended with status 0 but its output is not the tool's JSON
        Parsed,
    };

    /// The tool's standard output is read up to this size.
    static constexpr qsizetype maxOutputBytes = 4 * 1024 * 1024;
    /// The error output shown in a message is cut to this many characters.
    static constexpr int maxErrorChars = 500;

    Outcome outcome = Outcome::InvalidCommand;
    /// The exit status, for ExitFailure.
    int exitCode = 0;
    /// The platform's start error for SpawnFailed, the trimmed error output for ExitFailure and Crashed.
    QString errorText;
    double timeoutSec = 0;
    /// The provider rows, for Parsed.
    std::vector<CodexBarProviderUsage> providers;

    /// Gates, locates and runs the row with the time limit, blocking the calling thread (never the main one)
    /// for at most the limit plus a short stop grace, and parses its output.
    static CodexBarRowResult run(const QString& command, double timeoutSec, const QStringList& searchDirectories);

    bool ok() const { return outcome == Outcome::Parsed; }
    /// The exit code a poll's status counts: ExitFailure's status, or 124 for a run stopped at its time limit.
    std::optional<qint32> statusExitCode() const;
    /// The text shown to the user: "OK — JSON parsed, 2 provider(s) ready.", "exit=3 — <error output>", ...
    QString message() const;
};

} // namespace murmeli::usage
