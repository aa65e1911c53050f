#include "main/settings/views/widgets/GroupTitle.h"

#include "main/app/design/Tokens.h"
#include "main/notch/kit/Faces.h"
#include "main/settings/views/widgets/KitLabel.h"

namespace murmeli::settings {

GroupTitle::GroupTitle(const QString& text, QWidget* parent) : QLabel(parent), m_text(text)
{
    setTextFormat(Qt::PlainText);
    setText(text.toUpper());
    QFont font = notch::Faces::instrumentSans(11, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    setFont(font);
    KitLabel::setColor(*this, app::Color::vantorTextMuted);
}

} // namespace murmeli::settings
