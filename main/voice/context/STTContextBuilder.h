#pragma once

#include <optional>

#include <QMap>
#include <QString>
#include <QStringList>

#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "main/voice/context/STTContext.h"

/// Builds the recognition context of the next take from the selected session: its current tool, the files its
/// agent read or wrote lately, its cost, and hotwords taken from the session (project, file and tool names) merged
/// with the user's own hotwords, which outweigh them.
namespace murmeli::voice::STTContextBuilder {

/// Weights of the terms taken from the session: the project is named most often, tool names least.
inline constexpr int projectWeight = 20;
inline constexpr int fileWeight = 15;
inline constexpr int toolWeight = 10;
/// How many recent file names and tool names the context carries at most.
inline constexpr int maxRecentFiles = 10;
inline constexpr int maxToolNames = 10;
/// A single character is too short to steer a recogniser; shorter hotwords are left out.
inline constexpr int minHotwordCharacters = 2;

/// What the builder reads of the selected session; both parts may be empty when nothing is selected.
struct SessionView {
    std::optional<hooks::ClaudeStatus> status;
    /// The selected session's transcript; empty when the watcher follows another one.
    hooks::TranscriptData transcript;
};

/// The names of the files the transcript's agent read, wrote or edited, the most recent first, each once.
QStringList recentFiles(const hooks::TranscriptData& transcript);

/// Terms taken from the session with their weights; a term found twice keeps its higher weight.
QMap<QString, int> sessionHotwords(const SessionView& session);

/// Gives every custom hotword of at least two characters the weight, adding it or replacing the weight a session
/// term of the same text had; shorter entries are skipped.
void applyCustomHotwords(QMap<QString, int>& hotwords, const QStringList& customHotwords, int weight);

/// The context of the next take.
STTContext build(
    const SessionView& session, const QStringList& customHotwords, int customHotwordWeight, const QString& locale);

} // namespace murmeli::voice::STTContextBuilder
