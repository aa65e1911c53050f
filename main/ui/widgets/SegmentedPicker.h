#pragma once

#include <QList>
#include <QWidget>

namespace murmeli::ui {

/// A row of segments of which exactly one is chosen (or none before the first choice). Every change of the choice,
/// by a click, the Left and Right keys or setCurrentTag, is reported.
class SegmentedPicker final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentedPicker)

public:
    struct Segment {
        QString title;
        QString tag;
    };

    /// maxWidth bounds the whole row.
    SegmentedPicker(QList<Segment> segments, int maxWidth, QWidget* parent = nullptr);

    const QString& currentTag() const { return m_currentTag; }
    void setCurrentTag(const QString& tag);
    /// Where the segment with that tag is drawn; empty when no segment has it.
    QRect segmentRect(const QString& tag) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void currentTagChanged(const QString& tag);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<Segment> m_segments;
    QString m_currentTag;
    int m_maxWidth = 0;
};

} // namespace murmeli::ui
