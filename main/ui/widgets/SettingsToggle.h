#pragma once

#include <QAbstractButton>

namespace murmeli::ui {

/// The switch placed as a row's control, tinted brass while on. It has no label of its own: the row shows it.
class SettingsToggle final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsToggle)

public:
    static constexpr int width = 36;
    static constexpr int height = 20;

    explicit SettingsToggle(QWidget* parent = nullptr);

    QSize sizeHint() const override { return { width, height }; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace murmeli::ui
