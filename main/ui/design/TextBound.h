#pragma once

#include <algorithm>

#include <QString>

namespace murmeli::ui {

/// The most characters one line of a window's text is laid out with. No line of any window is wider than that many
/// characters at its faces' sizes, and outside text (a project name, an activity, an approval) may be any length:
/// shaping a few hundred kilobytes for every frame would burn a core for a line that shows a few dozen characters.
inline constexpr qsizetype maxLineCharacters = 512;

/// text cut to what lines lines can show, never inside a surrogate pair; the text itself when it is short enough.
inline QString boundedForLayout(const QString& text, int lines = 1)
{
    qsizetype limit = maxLineCharacters * std::max(1, lines);
    if (text.size() <= limit) {
        return text;
    }
    if (text.at(limit - 1).isHighSurrogate()) {
        --limit;
    }
    return text.left(limit);
}

} // namespace murmeli::ui
