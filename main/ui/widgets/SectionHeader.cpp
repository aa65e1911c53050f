#include "main/ui/widgets/SectionHeader.h"

#include <QLabel>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

SectionHeader::SectionHeader(const QString& title, const std::optional<QString>& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_title = KitLabel::make(title, ui::Faces::fraunces(24, QFont::Normal, true), ui::Color::vantorText, this);
    layout->addWidget(m_title);
    if (subtitle) {
        m_subtitle = KitLabel::make(
            *subtitle, ui::Faces::instrumentSans(12, QFont::Normal), ui::Color::vantorTextMuted, this);
        m_subtitle->setWordWrap(true);
        m_subtitle->setMaximumWidth(SettingsDesign::contentMaxWidth);
        layout->addWidget(m_subtitle);
    }
}

QString SectionHeader::title() const
{
    return m_title->text();
}

std::optional<QString> SectionHeader::subtitle() const
{
    if (m_subtitle == nullptr) {
        return std::nullopt;
    }
    return m_subtitle->text();
}

} // namespace murmeli::ui
