#pragma once

#include <QWidget>

class QLabel;

namespace murmeli::cloud {

/// One usage line of the plan card: a caption and "used / cap min" over a thin bar filled in brass, with the reset
/// time under it when there is one.
class ProgressLine final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressLine)

public:
    explicit ProgressLine(const QString& title, QWidget* parent = nullptr);

    /// resetText may be empty: then no reset line is drawn.
    void set(qint64 used, qint64 cap, const QString& resetText);

    QString countText() const;
    /// The bar's filled share, 0 to 1.
    double fraction() const;
    /// "" when the line shows none.
    QString resetText() const;

private:
    QLabel* m_count = nullptr;
    QWidget* m_bar = nullptr;
    QLabel* m_reset = nullptr;
    double m_fraction = 0;
};

} // namespace murmeli::cloud
