#include "main/device/link/LineAssembler.h"

#include "main/common/TextUtils.h"

namespace murmeli::device {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

QString decodeLine(QByteArrayView bytes)
{
    if (bytes.endsWith('\r')) {
        bytes.chop(1);
    }
    const std::optional<QString> text = common::text::decodeUtf8Strictly(bytes.toByteArray());
    if (!text) {
        return {};
    }
    qsizetype begin = 0;
    qsizetype end = text->size();
    while (begin < end && isBlank(text->at(begin))) {
        ++begin;
    }
    while (end > begin && isBlank(text->at(end - 1))) {
        --end;
    }
    return text->mid(begin, end - begin);
}

} // namespace

QStringList LineAssembler::feed(const QByteArray& chunk)
{
    QStringList lines;
    qsizetype start = 0;
    qsizetype newline = chunk.indexOf('\n');
    while (newline >= 0) {
        const QByteArrayView piece(chunk.constData() + start, newline - start);
        const bool overlong = m_skippingOverlong || m_buffer.size() + piece.size() > maxLineBytes;
        if (!overlong) {
            QString line;
            if (m_buffer.isEmpty()) {
                line = decodeLine(piece);
            } else {
                m_buffer.append(piece.data(), piece.size());
                line = decodeLine(m_buffer);
            }
            if (!line.isEmpty()) {
                lines << line;
            }
        }
        m_buffer.clear();
        m_skippingOverlong = false;
        start = newline + 1;
        newline = chunk.indexOf('\n', start);
    }
    if (start < chunk.size() && !m_skippingOverlong) {
        m_buffer.append(chunk.constData() + start, chunk.size() - start);
        if (m_buffer.size() > maxLineBytes) {
            m_buffer.clear();
            m_skippingOverlong = true;
        }
    }
    return lines;
}

void LineAssembler::clear()
{
    m_buffer.clear();
    m_skippingOverlong = false;
}

} // namespace murmeli::device
