#pragma once

#include <QWidget>

namespace murmeli::ui {

/// A key cap: the key's name in the monospaced face on a small outlined surface.
class Kbd final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Kbd)

public:
    explicit Kbd(const QString& label, QWidget* parent = nullptr);

    const QString& label() const { return m_label; }
    void setLabel(const QString& label);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_label;
};

} // namespace murmeli::ui
