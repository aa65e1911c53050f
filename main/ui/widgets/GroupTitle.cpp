#include "main/ui/widgets/GroupTitle.h"

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitLabel.h"

namespace murmeli::ui {

GroupTitle::GroupTitle(const QString& text, QWidget* parent) : QLabel(parent), m_text(text)
{
    setTextFormat(Qt::PlainText);
    setText(text.toUpper());
    QFont font = ui::Faces::instrumentSans(11, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    setFont(font);
    KitLabel::setColor(*this, ui::Color::vantorTextMuted);
}

} // namespace murmeli::ui
