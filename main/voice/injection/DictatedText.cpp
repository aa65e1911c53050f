#include "main/voice/injection/DictatedText.h"

#include <QStringList>

#include "main/common/TextUtils.h"

namespace murmeli::voice::DictatedText {

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

} // namespace

QString asOneLine(const QString& text)
{
    QStringList kept;
    for (const QString& line : common::text::nonEmptyLines(text)) {
        QString clean;
        clean.reserve(line.size());
        for (const char32_t c : line.toUcs4()) {
            if (c == U'\t') {
                clean.append(u' ');
            } else if (!isControl(c)) {
                clean.append(QString::fromUcs4(&c, 1));
            }
        }
        clean = clean.trimmed();
        if (!clean.isEmpty()) {
            kept.append(clean);
        }
    }
    return kept.join(u' ');
}

} // namespace murmeli::voice::DictatedText
