#pragma once

#include <QLabel>

namespace murmeli::ui {

/// A group's caption: small, spaced, muted capitals. The text keeps its case; only the label shows it upper-cased.
class GroupTitle final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GroupTitle)

public:
    explicit GroupTitle(const QString& text, QWidget* parent = nullptr);

    const QString& storedText() const { return m_text; }

private:
    QString m_text;
};

} // namespace murmeli::ui
