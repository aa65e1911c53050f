#pragma once

#include <functional>

#include <QFont>
#include <QString>

namespace murmeli::ui {

/// text on one line of font no wider than width: the text itself when it fits, else as many of its user-perceived
/// characters as fit with "…" in place of the rest, at its end (Qt::ElideRight) or in its middle so that both ends
/// show (any other mode). A cut never splits a character, an emoji or a letter from its accents; of a long text only
/// its first and last ui::maxLineCharacters are laid out. written, when given, is how a piece of the text is shown
/// (escapes for its controls, say): the line is made of written pieces, so that no cut splits what it writes for one
/// character.
QString elidedLine(const QString& text, const QFont& font, qreal width, Qt::TextElideMode mode,
    const std::function<QString(const QString&)>& written = {});

} // namespace murmeli::ui
