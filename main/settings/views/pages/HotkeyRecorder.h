#pragma once

#include <functional>

#include <QWidget>

#include "main/settings/PTTHotkey.h"

namespace murmeli::ui {
class Kbd;
class SecondaryButton;
class SymbolButton;
}

namespace murmeli::settings {

/// The click-to-record control of the custom hotkey: the current combination as a key cap with a clear button, and
/// a button that records the next key press the application receives. While it records every key press is
/// consumed, so none reaches a text field or a shortcut. It keeps no copy of the hotkey: it reads and writes it
/// through the two functions it is given.
class HotkeyRecorder final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HotkeyRecorder)

public:
    HotkeyRecorder(
        std::function<PTTHotkey()> get, std::function<void(const PTTHotkey&)> set, QWidget* parent = nullptr);
    ~HotkeyRecorder() override;

    bool isRecording() const { return m_recording; }
    /// Shows the hotkey as it now is; call after it changed elsewhere.
    void refresh();

    ui::Kbd* keyCap() const { return m_keyCap; }
    ui::SymbolButton* clearButton() const { return m_clear; }
    ui::SecondaryButton* recordButton() const { return m_record; }

    /// Recording started (true) or ended, whatever ended it.
    std::function<void(bool recording)> onRecordingChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startRecording();
    void stopRecording();
    void handleKeyPress(const QKeyEvent& event);

    std::function<PTTHotkey()> m_get;
    std::function<void(const PTTHotkey&)> m_set;
    bool m_recording = false;
    ui::Kbd* m_keyCap = nullptr;
    ui::SymbolButton* m_clear = nullptr;
    ui::SecondaryButton* m_record = nullptr;
};

} // namespace murmeli::settings
