#pragma once

#include <variant>

#include <QString>
#include <QtGlobal>

#include "main/voice/focus/VoiceMode.h"

namespace murmeli::voice {

/// Where one push-to-talk take stands after the recogniser; one value at a time.
struct VoiceFlowState final {
    struct Idle final {
        friend bool operator==(const Idle&, const Idle&) = default;
    };
    struct Recording final {
        QString targetName;
        qint64 startedAtMs = 0;
        friend bool operator==(const Recording&, const Recording&) = default;
    };
    struct Polishing final {
        QString rawText;
        int durationMs = 0;
        friend bool operator==(const Polishing&, const Polishing&) = default;
    };
    struct AwaitingCommit final {
        QString text;
        bool isRaw = true;
        /// When the Esc window closes, on the flow clock's scale.
        qint64 deadlineMs = 0;
        friend bool operator==(const AwaitingCommit&, const AwaitingCommit&) = default;
    };
    struct Injecting final {
        QString finalText;
        VoiceMode mode;
        friend bool operator==(const Injecting&, const Injecting&) = default;
    };

    std::variant<Idle, Recording, Polishing, AwaitingCommit, Injecting> value;

    template <typename Case> bool is() const { return std::holds_alternative<Case>(value); }
    template <typename Case> const Case* as() const { return std::get_if<Case>(&value); }

    /// "idle", "recording", "polishing", "awaitingCommit" or "injecting", as the log writes it.
    QString name() const;

    friend bool operator==(const VoiceFlowState&, const VoiceFlowState&) = default;
};

} // namespace murmeli::voice
