#pragma once

#include <optional>

#include <QString>

#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"

namespace murmeli::device {

/// The short phrases spoken for agent events, made to be heard rather than read: a tool name becomes one word, a
/// text its first few words. Pure functions; they cannot fail.
namespace TTSPrompt {

/// A tool's spoken name: "Bash" → "bash"; an MCP tool by the piece after its last underscore, case kept; controls and
/// invisible characters written as escapes.
QString shortToolName(const QString& name);
/// The first max words of the text (words are separated by U+0020 only), joined by single spaces; the whole text,
/// trimmed of blanks but not of line breaks, when it has no more than max words.
QString prefixWords(const QString& text, int max);
/// For a permission request that becomes the active one; controls in the preview are written as escapes.
QString forApproval(const QString& toolName, const QString& preview);
/// For a tool that failed.
QString forToolFailure(const QString& toolName, const QString& error);
/// For a turn that ended with an API error of the type.
QString forStopFailure(const QString& errorType, const QString& errorMessage);
/// For a finished turn: the to-do tally, else the changed lines, else the tools used most.
QString forStop(const hooks::TranscriptData& transcript, const std::optional<hooks::ClaudeStatus>& status);

} // namespace TTSPrompt

} // namespace murmeli::device
