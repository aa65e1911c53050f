#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace murmeli::voice {

/// What travels with one take to the recognition backends: the tool the active session's agent is using, the files
/// it touched lately, its cost, the words the recogniser should favour with their weights, and the recognition
/// locale. Built by the controller before each take; only the locale may change afterwards.
class STTContext final {
public:
    static constexpr auto defaultLocale = "zh-CN";
    /// How many of the heaviest hotwords the rendered prompt names.
    static constexpr int promptHotwordLimit = 20;
    /// How many recent files the rendered prompt names, when there are more than that.
    static constexpr int promptFileLimit = 5;

    /// The empty context: no tool, files, cost or hotwords, locale "zh-CN".
    STTContext() = default;
    STTContext(QString tool, QStringList files, double costUSD, QMap<QString, int> hotwords,
        QString locale = QLatin1String(defaultLocale));

    /// The shared empty context.
    static const STTContext& empty();

    const QString& tool() const { return m_tool; }
    /// Last path components, in the order supplied.
    const QStringList& files() const { return m_files; }
    double costUSD() const { return m_costUSD; }
    /// Word to weight; a higher weight ranks first.
    const QMap<QString, int>& hotwords() const { return m_hotwords; }
    const QString& locale() const { return m_locale; }
    void setLocale(const QString& locale) { m_locale = locale; }

    /// The keys of the `limit` heaviest hotwords, heaviest first; all of them when there are fewer. Words of equal
    /// weight keep the map's order.
    QStringList rankedHotwords(int limit) const { return rankHotwords(m_hotwords, limit); }
    /// The same ranking over any word-to-weight map; the polish request ranks the engine's hotwords with it.
    static QStringList rankHotwords(const QMap<QString, int>& hotwords, int limit);

    /// The context as a prompt for a recogniser that accepts one: the fixed opening sentence, the clauses for
    /// tool, files (the first five when six or more) and the 20 heaviest terms, and the fixed closing sentence.
    QString whisperPrompt() const;

private:
    QString m_tool;
    QStringList m_files;
    double m_costUSD = 0;
    QMap<QString, int> m_hotwords;
    QString m_locale = QLatin1String(defaultLocale);
};

} // namespace murmeli::voice
