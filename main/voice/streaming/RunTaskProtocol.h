#pragma once

#include <optional>

#include <QMap>
#include <QString>
#include <QStringList>

/// The messages of the older streaming endpoint: one run-task text frame starts a recognition task, binary frames
/// carry the audio, one finish-task frame ends it; the server answers with JSON events. Pure functions.
namespace murmeli::voice::RunTaskProtocol {

inline constexpr int sampleRate = 16000;

/// A fresh task id: a random UUID in upper case without its hyphens (32 hexadecimal characters).
QString newTaskId();

/// The run-task message for a task; hotwords (word to weight) travel as the JSON text of that table when there are
/// any. nullopt when the message cannot be made.
std::optional<QString> runTask(const QString& taskId, const QString& model, const QMap<QString, int>& hotwords);
/// The finish-task message for the same task.
QString finishTask(const QString& taskId);

/// One server event as the client reads it.
struct Event final {
    enum class Kind {
        Ignored, ///< binary, not a JSON object, no header event, or an event of no interest
        Result, ///< running text of the current sentence
        Finished, ///< the task is done
        Failed, ///< the task failed
    };
    Kind kind = Kind::Ignored;
    QString text; ///< Result: the sentence's text; Failed: the server's reason or "ASR error"
    bool sentenceEnd = false; ///< Result: the sentence has ended

    bool operator==(const Event&) const = default;
};

Event parseEvent(const QString& frame);

/// The recognised text of one task as its events build it: ended sentences followed by the current one.
class Transcript final {
public:
    /// Takes a result event and returns the running text to show.
    QString add(const QString& sentence, bool ended);
    /// The ended sentences joined with no separator.
    QString finalText() const { return m_ended.join(QString()); }

private:
    QStringList m_ended;
};

} // namespace murmeli::voice::RunTaskProtocol
