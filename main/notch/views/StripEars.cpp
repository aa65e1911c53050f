#include "main/notch/views/StripEars.h"

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/EmptyView.h"
#include "main/ui/design/Faces.h"
#include "main/notch/kit/RowView.h"
#include "main/notch/views/PttWave.h"

namespace murmeli::notch::StripEars {

TextStyle greetingStyle()
{
    return { ui::Faces::fraunces(13, QFont::Medium, true), ui::Color::vantorBrass };
}

std::unique_ptr<View> startLeftEar()
{
    return std::make_unique<TextView>(QStringLiteral("Hi, murmeli"), greetingStyle());
}

std::unique_ptr<View> idleSessionCount(int count)
{
    if (count < 1) {
        return std::make_unique<EmptyView>();
    }
    const QString middleDot = QStringLiteral("\u00B7");
    QFont font = ui::Faces::geistMono(10.5, QFont::Medium);
    font.setStyleHint(QFont::Monospace);
    return std::make_unique<TextView>(
        middleDot + QString::number(count) + middleDot, TextStyle { font, ui::Color::vantorBrass });
}

std::unique_ptr<View> pttRightEar(const ViewEnvironment& environment)
{
    auto row = std::make_unique<RowView>(5);
    row->append(std::make_unique<PttWave>(environment));
    row->append(std::make_unique<TextView>(QStringLiteral("REC"),
        TextStyle { ui::Faces::instrumentSans(9.5, QFont::ExtraBold), ui::Color::vantorBrass, 1.0 }));
    return row;
}

} // namespace murmeli::notch::StripEars
