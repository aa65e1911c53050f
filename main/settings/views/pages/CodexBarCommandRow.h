#pragma once

#include <functional>

#include <QWidget>

class QLineEdit;

namespace murmeli::ui {
class KitButton;
class SymbolButton;
}

namespace murmeli::settings {

/// One command row of the usage tool: the editable command, its Test & Save with the seconds left while it runs,
/// and a remove button where the row may go. The field stays editable during a test.
class CodexBarCommandRow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CodexBarCommandRow)

public:
    /// onRemove empty: the row has no remove button. onEdited gets every edit of the text.
    CodexBarCommandRow(const QString& command, std::function<void(const QString&)> onEdited,
        std::function<void()> onTestSave, std::function<void()> onRemove, QWidget* parent = nullptr);

    /// testing: this row is the one under test; secondsLeft its countdown. disabled: a test runs or there is no
    /// application behind the page.
    void setTestState(bool testing, int secondsLeft, bool disabled);

    QLineEdit* field() const { return m_field; }
    ui::KitButton* testButton() const { return m_test; }
    /// Null when the row cannot be removed.
    ui::SymbolButton* removeButton() const { return m_remove; }

private:
    QLineEdit* m_field = nullptr;
    ui::KitButton* m_test = nullptr;
    ui::SymbolButton* m_remove = nullptr;
};

} // namespace murmeli::settings
