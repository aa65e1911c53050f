#pragma once

#include <deque>

#include <QColor>
#include <QDateTime>
#include <QWidget>

#include "main/common/Log.h"

class QPlainTextEdit;

namespace murmeli::app {

/// The activity log: the newest lines of the one log sink, coloured by level, the newest at the bottom. While the
/// view is scrolled to the bottom it follows new lines; scrolled up, it stays where the reader is. Esc and Ctrl+W close
/// it.
class ActivityLogWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivityLogWindow)

public:
    static constexpr int maxLines = 2000;

    explicit ActivityLogWindow(QWidget* parent = nullptr);

    /// Adds one line stamped with when; the oldest line goes once there are more than maxLines. The text view takes
    /// the lines of one turn of the event loop together, and none while the window is hidden.
    void append(const QDateTime& when, const QString& message, common::LogColor color);
    /// Shows the window and brings it to the front, no larger than its screen's free area has room for.
    void present();

    /// The colour a level is drawn in.
    static QColor colorOf(common::LogColor color);

    QPlainTextEdit* textView() const { return m_text; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Line {
        QDateTime when;
        QString message;
        common::LogColor color = common::LogColor::Grey;
    };

    void showPending();

    QPlainTextEdit* m_text = nullptr;
    // Laying out each line as it comes costs the main thread more than a hook event does; a flood of events must
    // not spend it on a window nobody looks at.
    std::deque<Line> m_pending;
    bool m_showQueued = false;
};

} // namespace murmeli::app
