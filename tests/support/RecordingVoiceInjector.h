#pragma once

#include <QStringList>

#include <QCoroTask>

#include "main/common/OneShot.h"
#include "main/voice/injection/VoiceTextInjector.h"

namespace murmeli::test {

/// Records what the voice flow would have pasted or left on the clipboard; with hold set, each paste waits until
/// release(), as a slow paste would.
class RecordingVoiceInjector final : public voice::VoiceTextInjector {
public:
    QCoro::Task<std::optional<QString>> injectModeA(QString text, voice::FocusTarget target) override
    {
        Q_UNUSED(target)
        if (hold) {
            co_await m_gate;
        }
        pasted << text;
        co_return std::nullopt;
    }
    void injectModeB(const QString& text, voice::ModeBReason reason) override
    {
        copied << text + QStringLiteral(" · ") + toString(reason);
    }
    void abandonPaste() override { ++abandoned; }
    /// Lets the held pastes go on.
    void release() { m_gate.fulfil(true); }

    bool hold = false;
    int abandoned = 0;
    QStringList pasted;
    QStringList copied;

private:
    common::OneShot<bool> m_gate;
};

} // namespace murmeli::test
