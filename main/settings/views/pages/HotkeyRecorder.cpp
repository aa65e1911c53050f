#include "main/settings/views/pages/HotkeyRecorder.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>

#include "main/ui/design/Tokens.h"
#include "main/settings/HotkeyKeys.h"
#include "main/settings/HotkeyRecorderRule.h"
#include "main/ui/widgets/Kbd.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SymbolButton.h"

namespace murmeli::settings {

HotkeyRecorder::HotkeyRecorder(
    std::function<PTTHotkey()> get, std::function<void(const PTTHotkey&)> set, QWidget* parent)
    : QWidget(parent), m_get(std::move(get)), m_set(std::move(set))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_keyCap = new ui::Kbd(QString(), this);
    m_clear = new ui::SymbolButton(ui::Symbol::XmarkCircleFill, ui::Color::vantorTextMuted, 14, this);
    m_clear->setToolTip(QStringLiteral("Clear custom hotkey"));
    m_clear->setCursor(Qt::PointingHandCursor);
    connect(m_clear, &QAbstractButton::clicked, this, [this] {
        m_set(PTTHotkey::none());
        refresh();
    });
    m_record = new ui::SecondaryButton(
        QString(), [this] { m_recording ? stopRecording() : startRecording(); }, this);
    layout->addWidget(m_keyCap);
    layout->addWidget(m_clear);
    layout->addWidget(m_record);
    refresh();
}

HotkeyRecorder::~HotkeyRecorder()
{
    stopRecording();
}

void HotkeyRecorder::refresh()
{
    const PTTHotkey hotkey = m_get();
    const bool showKey = hotkey.isBound() && !m_recording;
    m_keyCap->setLabel(hotkey.display);
    m_keyCap->setVisible(showKey);
    m_clear->setVisible(showKey);
    m_record->setText(m_recording ? QStringLiteral("Press keys…")
            : hotkey.isBound()    ? QStringLiteral("Rebind")
                                  : QStringLiteral("Record…"));
    m_record->updateGeometry();
}

void HotkeyRecorder::startRecording()
{
    if (m_recording) {
        return;
    }
    m_recording = true;
    // Every key press of the application comes here first while recording; one filter at a time.
    qApp->installEventFilter(this);
    refresh();
    if (onRecordingChanged) {
        onRecordingChanged(true);
    }
}

void HotkeyRecorder::stopRecording()
{
    if (!m_recording) {
        return;
    }
    m_recording = false;
    qApp->removeEventFilter(this);
    refresh();
    if (onRecordingChanged) {
        onRecordingChanged(false);
    }
}

bool HotkeyRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_recording) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed, so that no shortcut fires; the key press follows and is handled below.
        event->accept();
        return true;
    case QEvent::KeyPress:
        handleKeyPress(static_cast<const QKeyEvent&>(*event));
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void HotkeyRecorder::handleKeyPress(const QKeyEvent& event)
{
    const KeyPress press = HotkeyKeys::fromQt(event.key(), event.modifiers(), event.nativeVirtualKey());
    switch (HotkeyRecorderRule::decide(press)) {
    case HotkeyRecorderRule::Decision::Stop:
        stopRecording();
        return;
    case HotkeyRecorderRule::Decision::Ignore:
        return;
    case HotkeyRecorderRule::Decision::Accept:
        m_set(PTTHotkey::from(press));
        stopRecording();
        return;
    }
}

void HotkeyRecorder::hideEvent(QHideEvent* event)
{
    // Leaving the page or closing the window ends recording, so key presses reach the application again.
    stopRecording();
    QWidget::hideEvent(event);
}

} // namespace murmeli::settings
