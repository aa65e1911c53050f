#include "main/settings/views/widgets/SectionHeader.h"

#include <QLabel>
#include <QVBoxLayout>

#include "main/app/design/Tokens.h"
#include "main/notch/kit/Faces.h"
#include "main/settings/views/widgets/KitLabel.h"
#include "main/settings/views/widgets/SettingsDesign.h"

namespace murmeli::settings {

SectionHeader::SectionHeader(const QString& title, const std::optional<QString>& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_title = KitLabel::make(title, notch::Faces::fraunces(24, QFont::Normal, true), app::Color::vantorText, this);
    layout->addWidget(m_title);
    if (subtitle) {
        m_subtitle = KitLabel::make(
            *subtitle, notch::Faces::instrumentSans(12, QFont::Normal), app::Color::vantorTextMuted, this);
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

} // namespace murmeli::settings
