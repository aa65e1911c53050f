#include "main/settings/views/pages/CodexBarCommandRow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>

#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SymbolButton.h"

namespace murmeli::settings {

CodexBarCommandRow::CodexBarCommandRow(const QString& command, std::function<void(const QString&)> onEdited,
    std::function<void()> onTestSave, std::function<void()> onRemove, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_field = new QLineEdit(command, this);
    m_field->setObjectName(QStringLiteral("command"));
    m_field->setPlaceholderText(QStringLiteral("codexbar usage --format json --provider …"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont).pointSizeF() + 1);
    m_field->setFont(mono);
    connect(m_field, &QLineEdit::textEdited, this, [onEdited = std::move(onEdited)](const QString& text) {
        if (onEdited) {
            onEdited(text);
        }
    });
    layout->addWidget(m_field, 1);
    m_test = new ui::SecondaryButton(QStringLiteral("Test & Save"), std::move(onTestSave), this);
    m_test->setObjectName(QStringLiteral("testAndSave"));
    layout->addWidget(m_test);
    if (onRemove) {
        m_remove = new ui::SymbolButton(ui::Symbol::XmarkCircleFill, ui::Color::vantorTextMuted, 14, this);
        m_remove->setObjectName(QStringLiteral("removeRow"));
        m_remove->setToolTip(QStringLiteral("Remove this row"));
        m_remove->setCursor(Qt::PointingHandCursor);
        connect(m_remove, &QAbstractButton::clicked, this, std::move(onRemove));
        layout->addWidget(m_remove);
    }
}

void CodexBarCommandRow::setTestState(bool testing, int secondsLeft, bool disabled)
{
    QString title = QStringLiteral("Test & Save");
    if (testing) {
        title = secondsLeft >= 1 ? QStringLiteral("Testing… %1s").arg(secondsLeft) : QStringLiteral("Testing…");
    }
    m_test->setText(title);
    m_test->updateGeometry();
    m_test->setEnabled(!disabled);
    if (m_remove != nullptr) {
        m_remove->setEnabled(!disabled);
    }
}

} // namespace murmeli::settings
