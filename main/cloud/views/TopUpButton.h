#pragma once

#include <QAbstractButton>

namespace murmeli::cloud {

/// The plan card's call to buy minutes: a bold label line over a smaller line, filling the card's width, black on
/// brass while a top-up can start and muted on the dark surface when there is nobody to start it.
class TopUpButton final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TopUpButton)

public:
    TopUpButton(const QString& label, const QString& sub, QWidget* parent = nullptr);

    const QString& label() const { return m_label; }
    const QString& sub() const { return m_sub; }
    /// The label line as drawn: the label, or the checkout text while a top-up runs.
    QString shownLabel() const;
    /// live: an application stands behind the button (the brass look); busy: a top-up runs.
    void setState(bool live, bool busy);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_label;
    QString m_sub;
    bool m_live = false;
    bool m_busy = false;
};

} // namespace murmeli::cloud
