#pragma once

#include <optional>

#include <QWidget>

class QLabel;

namespace murmeli::ui {

/// A page's title in the serif italic face, with an optional muted subtitle under it.
class SectionHeader final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SectionHeader)

public:
    SectionHeader(const QString& title, const std::optional<QString>& subtitle, QWidget* parent = nullptr);

    QString title() const;
    /// Absent when the header has none.
    std::optional<QString> subtitle() const;

private:
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
};

} // namespace murmeli::ui
