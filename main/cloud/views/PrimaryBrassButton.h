#pragma once

#include <functional>

#include <QAbstractButton>

namespace murmeli::cloud {

/// The account area's filled button: black on brass while it can be pressed, muted on the dark surface when not.
/// A press runs the action only while the button is enabled.
class PrimaryBrassButton final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PrimaryBrassButton)

public:
    /// paddingH and paddingV pad the title; the sheet's button uses the defaults, the page's "Sign in" 16 by 6.
    PrimaryBrassButton(const QString& title, std::function<void()> action, int paddingH = 18, int paddingV = 7,
        QWidget* parent = nullptr);

    /// The colours it draws with now.
    QColor textColor() const;
    QColor fillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> m_action;
    int m_paddingH = 0;
    int m_paddingV = 0;
};

} // namespace murmeli::cloud
