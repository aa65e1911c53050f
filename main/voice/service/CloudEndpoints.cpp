#include "main/voice/service/CloudEndpoints.h"

#include <QUrl>

namespace murmeli::voice::CloudEndpoints {

namespace {

// Far beyond any real address; the value comes from outside and ends up in every request line.
constexpr qsizetype maxOverrideLength = 2048;

QString overrideValue(const QProcessEnvironment& environment)
{
    QString value = environment.value(QLatin1String(baseURLVariable)).trimmed();
    // Endpoint paths begin with "/"; a trailing one here would double it.
    while (value.endsWith(QLatin1Char('/'))) {
        value.chop(1);
    }
    return value;
}

bool isUsableBase(const QString& value)
{
    if (value.size() > maxOverrideLength) {
        return false;
    }
    const QUrl url(value, QUrl::StrictMode);
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty() && url.userInfo().isEmpty() && !url.hasQuery() && !url.hasFragment();
}

} // namespace

QString defaultBaseURL(const QProcessEnvironment& environment)
{
    const QString value = overrideValue(environment);
    return !value.isEmpty() && isUsableBase(value) ? value : QString::fromLatin1(builtInBaseURL);
}

std::optional<QString> ignoredOverride(const QProcessEnvironment& environment)
{
    const QString value = overrideValue(environment);
    if (value.isEmpty() || isUsableBase(value)) {
        return std::nullopt;
    }
    return QStringLiteral("%1 ignored, not an http(s) address with a host; using %2")
        .arg(QLatin1String(baseURLVariable), QLatin1String(builtInBaseURL));
}

} // namespace murmeli::voice::CloudEndpoints
