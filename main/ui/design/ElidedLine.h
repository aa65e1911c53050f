#pragma once

#include <QFont>
#include <QString>

namespace murmeli::ui {

/// text on one line of font no wider than width: the text itself when it fits, else as many of its user-perceived
/// characters as fit with "…" in place of the rest, at its end (Qt::ElideRight) or in its middle so that both ends
/// show (any other mode). A cut never splits a character, an emoji or a letter from its accents; of a long text only
/// its first and last ui::maxLineCharacters are laid out.
QString elidedLine(const QString& text, const QFont& font, qreal width, Qt::TextElideMode mode);

} // namespace murmeli::ui
