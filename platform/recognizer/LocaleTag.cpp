#include "platform/recognizer/LocaleTag.h"

#include <QStringList>

namespace murmeli::platform::LocaleTag {

namespace {

// "en_US.UTF-8@euro" -> ["en", "US"]
QStringList subtags(const QString& tag)
{
    QString core = tag.trimmed();
    core.truncate(core.indexOf(QLatin1Char('.')) >= 0 ? core.indexOf(QLatin1Char('.')) : core.size());
    core.truncate(core.indexOf(QLatin1Char('@')) >= 0 ? core.indexOf(QLatin1Char('@')) : core.size());
    core.replace(QLatin1Char('_'), QLatin1Char('-'));
    return core.split(QLatin1Char('-'), Qt::SkipEmptyParts);
}

} // namespace

QString language(const QString& tag)
{
    const QStringList parts = subtags(tag);
    return parts.isEmpty() ? QString() : parts.front().toLower();
}

QString normalized(const QString& tag)
{
    const QStringList parts = subtags(tag);
    if (parts.isEmpty()) {
        return {};
    }
    QString result = parts.front().toLower();
    // A script subtag ("zh-Hans-CN") sits between language and region; the region is the two-letter or numeric one.
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        if (part.size() == 2 || (part.size() == 3 && part.front().isDigit())) {
            return result + QLatin1Char('-') + part.toUpper();
        }
    }
    return result;
}

bool sameLocale(const QString& a, const QString& b)
{
    return !a.isEmpty() && normalized(a) == normalized(b);
}

} // namespace murmeli::platform::LocaleTag
