#include "main/cloud/api/HttpReplyReader.h"

#include <algorithm>
#include <utility>

namespace murmeli::cloud {

namespace {

constexpr QByteArrayView statusPrefix = "HTTP/";

bool allDigits(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool allHexDigits(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(),
        [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); });
}

} // namespace

HttpReplyReader::HttpReplyReader(qint64 maxHeadBytes, qint64 maxBodyBytes)
    : m_maxHeadBytes(maxHeadBytes), m_maxBodyBytes(maxBodyBytes)
{
}

HttpReplyReader::State HttpReplyReader::feed(QByteArrayView bytes)
{
    while (m_state == State::Reading && !bytes.isEmpty()) {
        const bool inBody
            = m_phase == Phase::LengthBody || m_phase == Phase::BodyToClose || m_phase == Phase::ChunkData;
        bytes = bytes.sliced(inBody ? readBody(bytes) : readLine(bytes));
    }
    return m_state;
}

HttpReplyReader::State HttpReplyReader::finish()
{
    if (m_state == State::Reading) {
        m_state = m_phase == Phase::BodyToClose ? State::Done : State::Broken;
    }
    return m_state;
}

qsizetype HttpReplyReader::readLine(QByteArrayView bytes)
{
    const qsizetype newline = bytes.indexOf('\n');
    const qsizetype used = newline < 0 ? bytes.size() : newline + 1;
    const bool inHead = m_phase == Phase::StatusLine || m_phase == Phase::HeaderLines || m_phase == Phase::Trailers;
    if (inHead) {
        m_headBytes += used;
        if (m_headBytes > m_maxHeadBytes) {
            m_state = State::Oversized;
            return used;
        }
    } else if (m_line.size() + used > maxChunkLineBytes) {
        m_state = State::Broken;
        return used;
    }
    m_line += bytes.first(newline < 0 ? used : newline);
    // A peer that is no HTTP server is known by its first bytes; waiting for a line end could mean waiting for ever.
    if (m_phase == Phase::StatusLine
        && !statusPrefix.startsWith(QByteArrayView(m_line).first(std::min(m_line.size(), statusPrefix.size())))) {
        m_state = State::NotHttp;
        return used;
    }
    if (newline < 0) {
        return used;
    }
    if (m_line.endsWith('\r')) {
        m_line.chop(1);
    }
    takeLine(std::exchange(m_line, {}));
    return used;
}

qsizetype HttpReplyReader::readBody(QByteArrayView bytes)
{
    if (m_phase == Phase::BodyToClose) {
        if (m_body.size() + bytes.size() > m_maxBodyBytes) {
            m_state = State::Oversized;
        } else {
            m_body += bytes;
        }
        return bytes.size();
    }
    // The length was checked against the limit before the first byte of it was taken.
    const qsizetype used = static_cast<qsizetype>(std::min<qint64>(bytes.size(), m_bodyLeft));
    m_body += bytes.first(used);
    m_bodyLeft -= used;
    if (m_bodyLeft == 0) {
        if (m_phase == Phase::LengthBody) {
            m_state = State::Done;
        } else {
            m_phase = Phase::ChunkEnd;
        }
    }
    return used;
}

void HttpReplyReader::takeLine(const QByteArray& line)
{
    switch (m_phase) {
    case Phase::StatusLine:
        takeStatusLine(line);
        return;
    case Phase::HeaderLines:
        takeHeaderLine(line);
        return;
    case Phase::ChunkSize:
        takeChunkSize(line);
        return;
    case Phase::ChunkEnd:
        if (line.isEmpty()) {
            m_phase = Phase::ChunkSize;
        } else {
            m_state = State::Broken;
        }
        return;
    case Phase::Trailers:
        // Trailer fields carry nothing we use; the blank line ends the reply.
        if (line.isEmpty()) {
            m_state = State::Done;
        }
        return;
    case Phase::LengthBody:
    case Phase::BodyToClose:
    case Phase::ChunkData:
        return;
    }
}

void HttpReplyReader::takeStatusLine(const QByteArray& line)
{
    // "HTTP/1.x SSS", then a reason phrase after a blank, or nothing.
    const bool wellFormed = line.size() >= 12 && line.startsWith("HTTP/1.") && allDigits(line.mid(7, 1))
        && line[8] == ' ' && allDigits(line.mid(9, 3)) && (line.size() == 12 || line[12] == ' ');
    if (!wellFormed) {
        m_state = State::NotHttp;
        return;
    }
    m_status = line.mid(9, 3).toInt();
    m_headers.clear();
    m_phase = Phase::HeaderLines;
}

void HttpReplyReader::takeHeaderLine(const QByteArray& line)
{
    if (line.isEmpty()) {
        startBody();
        return;
    }
    if (line.startsWith(' ') || line.startsWith('\t')) {
        // An old-style continuation of the field before it.
        if (!m_headers.isEmpty()) {
            m_headers.last().second += ' ' + line.trimmed();
        }
        return;
    }
    const qsizetype colon = line.indexOf(':');
    // A line that is no field is passed over, as Qt's own reader does.
    if (colon > 0) {
        addHeader(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
}

void HttpReplyReader::startBody()
{
    if (m_status >= 100 && m_status < 200 && m_status != 101) {
        m_phase = Phase::StatusLine;
        return;
    }
    if (m_status < 200 || m_status == 204 || m_status == 304) {
        m_state = State::Done;
        return;
    }
    if (const auto codings = find(m_headers, "transfer-encoding")) {
        const QByteArray last = codings->split(',').last().trimmed().toLower();
        m_phase = last == "chunked" ? Phase::ChunkSize : Phase::BodyToClose;
        return;
    }
    const auto length = find(m_headers, "content-length");
    if (!length) {
        m_phase = Phase::BodyToClose;
        return;
    }
    // Repeated fields arrive joined; they must all say the same.
    const QList<QByteArray> values = length->split(',');
    const QByteArray first = values.first().trimmed();
    const bool agree = std::all_of(
        values.begin(), values.end(), [&first](const QByteArray& value) { return value.trimmed() == first; });
    if (!agree || !allDigits(first) || first.size() > 18) {
        m_state = State::Broken;
        return;
    }
    m_bodyLeft = first.toLongLong();
    if (m_bodyLeft > m_maxBodyBytes) {
        m_state = State::Oversized;
    } else if (m_bodyLeft == 0) {
        m_state = State::Done;
    } else {
        m_phase = Phase::LengthBody;
    }
}

void HttpReplyReader::takeChunkSize(const QByteArray& line)
{
    const qsizetype extensions = line.indexOf(';');
    const QByteArray size = (extensions < 0 ? line : line.first(extensions)).trimmed();
    if (size.isEmpty() || size.size() > 15 || !allHexDigits(size)) {
        m_state = State::Broken;
        return;
    }
    m_bodyLeft = size.toLongLong(nullptr, 16);
    if (m_bodyLeft == 0) {
        m_phase = Phase::Trailers;
    } else if (m_body.size() + m_bodyLeft > m_maxBodyBytes) {
        m_state = State::Oversized;
    } else {
        m_phase = Phase::ChunkData;
    }
}

void HttpReplyReader::addHeader(const QByteArray& name, const QByteArray& value)
{
    for (Header& header : m_headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            header.second += ", " + value;
            return;
        }
    }
    m_headers.append(Header(name, value));
}

std::optional<QByteArray> HttpReplyReader::find(const QList<Header>& headers, QByteArrayView name)
{
    for (const Header& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            return header.second;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::cloud
