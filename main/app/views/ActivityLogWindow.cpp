#include "main/app/views/ActivityLogWindow.h"

#include <algorithm>
#include <utility>

#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/VantorFont.h"
#include "main/ui/widgets/CloseKeys.h"
#include "main/ui/widgets/WindowFit.h"

namespace murmeli::app {

namespace {

// The palette has no violet; voice results get one of the same lightness as the signal colours.
constexpr QColor voiceViolet { 181, 150, 222 };

} // namespace

ActivityLogWindow::ActivityLogWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("murmeli — Activity Log"));
    setObjectName(QStringLiteral("activityLog"));
    resize(760, 440);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setUndoRedoEnabled(false);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setMaximumBlockCount(maxLines);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->document()->setDocumentMargin(10);
    m_text->setFont(ui::VantorFont::geistMono(10));
    QPalette colours = m_text->palette();
    colours.setColor(QPalette::Base, ui::Tokens::Notch::surface);
    colours.setColor(QPalette::Text, ui::Tokens::Notch::text);
    colours.setColor(QPalette::Highlight, ui::Tokens::Notch::surface3);
    colours.setColor(QPalette::HighlightedText, ui::Tokens::Notch::text);
    m_text->setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);

    // A window for looking at: the keys that put such a window away close it (it is only hidden, and keeps its lines).
    ui::CloseKeys::install(*this);
}

QColor ActivityLogWindow::colorOf(common::LogColor color)
{
    using common::LogColor;
    switch (color) {
    case LogColor::Grey:
        return ui::Tokens::Notch::textMuted;
    case LogColor::Blue:
        return ui::Tokens::Notch::signalBlue;
    case LogColor::Orange:
        return ui::Tokens::Notch::signalAmber;
    case LogColor::Red:
        return ui::Tokens::Notch::signalRed;
    case LogColor::Purple:
        return voiceViolet;
    case LogColor::Green:
        return ui::Tokens::Notch::signalGreen;
    }
    return ui::Tokens::Notch::textMuted;
}

void ActivityLogWindow::append(const QDateTime& when, const QString& message, common::LogColor color)
{
    m_pending.push_back(Line { when, message, color });
    if (m_pending.size() > std::size_t(maxLines)) {
        m_pending.pop_front();
    }
    if (isVisible() && !m_showQueued) {
        m_showQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_showQueued = false;
                showPending();
            },
            Qt::QueuedConnection);
    }
}

void ActivityLogWindow::showEvent(QShowEvent* event)
{
    showPending();
    QWidget::showEvent(event);
}

void ActivityLogWindow::showPending()
{
    if (m_pending.empty()) {
        return;
    }
    QScrollBar* scroll = m_text->verticalScrollBar();
    const bool following = scroll->value() >= scroll->maximum();
    // A reader scrolled up keeps the line at the top of the view while the oldest lines are dropped from above it.
    QTextDocument& document = *m_text->document();
    const QTextBlock top = m_text->cursorForPosition(QPoint(0, 0)).block();
    const int topBlock = top.blockNumber();
    const int linesIntoTop = scroll->value() - top.firstLineNumber();
    const int blocksBefore = document.isEmpty() ? 0 : document.blockCount();

    QTextCharFormat stamp;
    stamp.setForeground(ui::Tokens::Notch::textMuted);
    QTextCharFormat body;
    // Plain text into the document: a message can neither break the line nor carry markup. One edit block lays the
    // document out once, and drops the lines past maxLines once.
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool first = document.isEmpty();
    for (const Line& line : m_pending) {
        if (!std::exchange(first, false)) {
            cursor.insertBlock();
        }
        body.setForeground(colorOf(line.color));
        cursor.insertText(line.when.toLocalTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  "), stamp);
        cursor.insertText(common::escapeLogText(line.message), body);
    }
    cursor.endEditBlock();
    const int dropped = blocksBefore + static_cast<int>(m_pending.size()) - document.blockCount();
    m_pending.clear();

    if (following) {
        scroll->setValue(scroll->maximum());
    } else if (dropped > 0) {
        const QTextBlock kept = document.findBlockByNumber(std::max(0, topBlock - dropped));
        scroll->setValue(kept.firstLineNumber() + (topBlock >= dropped ? linesIntoTop : 0));
    }
}

void ActivityLogWindow::present()
{
    if (isMinimized()) {
        showNormal();
    }
    // A small or scaled screen keeps the window's title bar and close button on it.
    const auto fit = [this] {
        resize(size().boundedTo(ui::WindowFit::room(*this)));
        ui::WindowFit::keepOnScreen(*this);
    };
    fit();
    ui::WindowFit::show(*this, fit);
    raise();
    activateWindow();
    QScrollBar* scroll = m_text->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

} // namespace murmeli::app
