#include "main/app/ptt/PTTSessionLog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace murmeli::app {

QByteArray PTTSessionLog::toJsonLine() const
{
    // With the local offset, so a reader sees the user's own day boundaries the files are cut at.
    const auto stamp = [](const QDateTime& when) {
        if (!when.isValid()) {
            return QJsonValue(QJsonValue::Null);
        }
        const QDateTime local = when.toLocalTime();
        return QJsonValue(local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs));
    };
    const QJsonObject object {
        { QStringLiteral("start"), stamp(start) },
        { QStringLiteral("end"), stamp(end) },
        { QStringLiteral("duration_ms"), start.isValid() && end.isValid() ? start.msecsTo(end) : 0 },
        { QStringLiteral("backend"), backend },
        { QStringLiteral("mic_source"), micSource },
        { QStringLiteral("streaming"), streaming },
        { QStringLiteral("trigger"), trigger },
        { QStringLiteral("final_text_length"), finalTextLength },
        { QStringLiteral("success"), success },
        { QStringLiteral("error"), error ? QJsonValue(*error) : QJsonValue(QJsonValue::Null) },
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace murmeli::app
