#pragma once

#include <optional>

#include <QByteArrayView>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include "main/hooks/transcript/TranscriptData.h"

namespace murmeli::hooks {

/// The summary of one transcript, built line by line, with the indexes that let a result find its call. Not
/// synchronised: its owner guards it.
class TranscriptSummary final {
public:
    static constexpr int toolHistoryLimit = 100;
    static constexpr int agentHistoryLimit = 100;

    const TranscriptData& data() const { return m_data; }
    TranscriptData& data() { return m_data; }
    /// The empty summary, with no calls to find.
    void reset();

    /// Applies one transcript line; returns how many running tools it finished.
    int apply(const QJsonObject& line);

    /// A transcript line as a JSON object; nullopt for anything else, invalid UTF-8 included.
    static std::optional<QJsonObject> parseLine(QByteArrayView line);
    /// The text the user typed in this line; nullopt when the line is no such message (a tool result, for one).
    static std::optional<QString> userText(const QJsonObject& line);

private:
    void useTool(const QJsonObject& block);
    void startAgent(const QString& id, const std::optional<QJsonObject>& input);
    void replaceTodos(const QJsonArray& todos);
    int finishTool(const QJsonObject& block);

    TranscriptData m_data;
    QHash<QString, qsizetype> m_toolMap;
    QHash<QString, qsizetype> m_agentMap;
};

} // namespace murmeli::hooks
