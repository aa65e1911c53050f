#pragma once

#include <QComboBox>

namespace murmeli::ui {

/// A pop-up menu of tagged entries drawn in the settings palette; it shows no label of its own. The wheel changes the
/// choice only once the user has given the menu the focus; otherwise it scrolls whatever holds the menu.
class MenuPicker final : public QComboBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuPicker)

public:
    /// minWidth and maxWidth bound the closed menu's width.
    MenuPicker(int minWidth, int maxWidth, QWidget* parent = nullptr);

    void addEntry(const QString& text, const QString& tag);
    /// The chosen entry's tag; empty when none is chosen.
    QString currentTag() const;
    /// Chooses the entry with that tag, or none when no entry has it.
    void setCurrentTag(const QString& tag);
    /// The entries' texts, top to bottom.
    QStringList entryTexts() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace murmeli::ui
