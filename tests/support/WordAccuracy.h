#pragma once

#include <algorithm>
#include <vector>

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace murmeli::test {

/// The words of a transcript, lower case, without punctuation.
inline QStringList wordsOf(const QString& text)
{
    return text.toLower().split(QRegularExpression(QStringLiteral("[^a-z']+")), Qt::SkipEmptyParts);
}

/// How much of what was said came back, in order: one minus the word-level edit distance over the number of said
/// words, at least 0.
inline double wordAccuracy(const QString& said, const QString& heard)
{
    const QStringList expected = wordsOf(said);
    const QStringList actual = wordsOf(heard);
    std::vector<qsizetype> previous(actual.size() + 1);
    std::vector<qsizetype> current(actual.size() + 1);
    for (qsizetype j = 0; j <= actual.size(); ++j) {
        previous[j] = j;
    }
    for (qsizetype i = 1; i <= expected.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= actual.size(); ++j) {
            const qsizetype substitution = previous[j - 1] + (expected[i - 1] == actual[j - 1] ? 0 : 1);
            current[j] = std::min({ previous[j] + 1, current[j - 1] + 1, substitution });
        }
        std::swap(previous, current);
    }
    return std::max(0.0, 1.0 - double(previous[actual.size()]) / double(std::max<qsizetype>(1, expected.size())));
}

} // namespace murmeli::test
