#include "main/device/lines/DeviceText.h"

#include "main/common/TextUtils.h"

namespace murmeli::device::DeviceText {

namespace {

bool isSeparator(QChar c, QStringView extra)
{
    switch (c.unicode()) {
    case u',':
    case u'|':
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return extra.contains(c);
    }
}

} // namespace

QString clean(const QString& text, QStringView extra)
{
    QString cleaned = text;
    for (QChar& c : cleaned) {
        if (isSeparator(c, extra)) {
            c = QLatin1Char(' ');
        }
    }
    return cleaned;
}

QString cleanAndCut(const QString& text, int maxChars, QStringView extra)
{
    return common::text::prefixCharacters(clean(text, extra), maxChars);
}

QString cleanAndCutWithEllipsis(const QString& text, int limit)
{
    return common::text::truncateWithEllipsis(clean(text), limit);
}

} // namespace murmeli::device::DeviceText
