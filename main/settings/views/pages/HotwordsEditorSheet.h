#pragma once

#include <functional>

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QScrollArea;
class QVBoxLayout;

namespace murmeli::ui {
class SecondaryButton;
}

namespace murmeli::settings {

/// The read-only viewer of the user's custom hotwords, with a search field. It takes a copy of the list when it is
/// built and never writes anything back; "Close" calls onClose.
class HotwordsEditorSheet final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HotwordsEditorSheet)

public:
    static constexpr int width = 440;

    HotwordsEditorSheet(QStringList hotwords, std::function<void()> onClose, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    /// "N / 100" for the whole list.
    QString counterText() const;
    /// The rows shown, in order.
    QStringList shownEntries() const;
    /// The empty state's text, "" while rows are shown.
    QString emptyText() const;
    ui::SecondaryButton* closeButton() const { return m_close; }

private:
    void showFiltered();

    QStringList m_list;
    QLabel* m_counter = nullptr;
    QLineEdit* m_search = nullptr;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_rows = nullptr;
    QLabel* m_empty = nullptr;
    ui::SecondaryButton* m_close = nullptr;
};

} // namespace murmeli::settings
