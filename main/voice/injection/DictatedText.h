#pragma once

#include <QString>

/// What a take's words become before they reach another program.
namespace murmeli::voice::DictatedText {

/// The words as one line of plain text: every line break (with the blanks around it) becomes one space, tabs become
/// spaces, other control characters (Escape, Backspace, the C1 set, ...) are dropped, and blanks at either end go.
/// A terminal takes a pasted line feed as Enter and an Escape as the start of a key sequence, so a recogniser's or a
/// polish's text could otherwise run a command or end the terminal's bracketed paste.
QString asOneLine(const QString& text);

} // namespace murmeli::voice::DictatedText
