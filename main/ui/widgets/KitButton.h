#pragma once

#include <functional>

#include <QAbstractButton>

namespace murmeli::ui {

/// The kit's text button: a title in the sans face padded 14 by 6 on a rounded shape. A press calls the action at
/// once; nothing in the button asks first.
class KitButton : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KitButton)

public:
    enum class Style {
        /// Text on a filled surface.
        Secondary,
        /// Red text in a red outline, no fill.
        Danger,
    };

    KitButton(Style style, const QString& title, std::function<void()> action, QWidget* parent = nullptr);

    Style style() const { return m_style; }
    void setAction(std::function<void()> action) { m_action = std::move(action); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style m_style;
    std::function<void()> m_action;
};

/// The kit's everyday button.
class SecondaryButton final : public KitButton {
public:
    explicit SecondaryButton(const QString& title, std::function<void()> action = {}, QWidget* parent = nullptr)
        : KitButton(Style::Secondary, title, std::move(action), parent)
    {
    }
};

/// The button of an action that destroys something.
class DangerButton final : public KitButton {
public:
    explicit DangerButton(const QString& title, std::function<void()> action = {}, QWidget* parent = nullptr)
        : KitButton(Style::Danger, title, std::move(action), parent)
    {
    }
};

} // namespace murmeli::ui
