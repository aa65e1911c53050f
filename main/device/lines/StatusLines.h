#pragma once

#include <QString>
#include <QStringList>

#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptData.h"

namespace murmeli::device {

/// The lines of the current agent session: LED and display every time, model, session and todo progress only
/// when they changed since the device last heard them. Main thread only.
class StatusLines final {
public:
    /// What the caller adds to the status and transcript.
    struct Counts final {
        int runningAgents = 0;
        int waitingAgents = 0;
        qint64 tokens = 0;
        qint64 tokensToday = 0;
    };

    /// "L:", "D:", then "M:", "S:" and "T:" where their content changed; remembers what it returned. nowSecs
    /// judges the freshness of the status for the LED.
    QStringList compose(
        const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript, Counts counts, qint64 nowSecs);

    /// The device forgot everything with its connection: the next compose sends the model, session and todos again.
    void forget();

private:
    QString m_lastModel;
    QString m_lastSession;
    QString m_lastTodoSummary;
};

} // namespace murmeli::device
