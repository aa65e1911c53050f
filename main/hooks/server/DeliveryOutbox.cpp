#include "main/hooks/server/DeliveryOutbox.h"

#include <cstring>
#include <utility>

namespace murmeli::hooks {

namespace {

struct Header {
    quint64 connectionId;
    quint32 nameChars;
    quint32 bodyBytes;
    quint32 adapterChars;
    quint32 agentProcessChars;
    quint32 kind;
    quint32 color;
};

void appendBytes(std::vector<char>& out, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

// A buffer that grew this large in a burst is given back rather than kept for the next one.
constexpr std::size_t keptCapacity = 1024 * 1024;

} // namespace

DeliveryOutbox::DeliveryOutbox(std::size_t maxPendingBytes) : m_maxPendingBytes(maxPendingBytes) { }

bool DeliveryOutbox::push(Kind kind, quint64 connectionId, QStringView eventName, QByteArrayView body,
    QStringView adapter, QStringView agentProcess)
{
    return append(kind, connectionId, eventName, body, adapter, agentProcess, common::LogColor::Grey);
}

void DeliveryOutbox::pushLog(QStringView line, common::LogColor color)
{
    append(Kind::Log, 0, line, {}, {}, {}, color);
}

bool DeliveryOutbox::append(Kind kind, quint64 connectionId, QStringView eventName, QByteArrayView body,
    QStringView adapter, QStringView agentProcess, common::LogColor color)
{
    const Header header { connectionId, static_cast<quint32>(eventName.size()), static_cast<quint32>(body.size()),
        static_cast<quint32>(adapter.size()), static_cast<quint32>(agentProcess.size()), static_cast<quint32>(kind),
        static_cast<quint32>(color) };
    const std::lock_guard lock(m_mutex);
    if ((kind == Kind::Event || kind == Kind::EventHeld) && m_filling.size() > m_maxPendingBytes) {
        m_turnedAway = true;
        return false;
    }
    appendBytes(m_filling, &header, sizeof header);
    appendBytes(m_filling, eventName.data(), eventName.size() * sizeof(QChar));
    appendBytes(m_filling, body.data(), body.size());
    appendBytes(m_filling, adapter.data(), adapter.size() * sizeof(QChar));
    appendBytes(m_filling, agentProcess.data(), agentProcess.size() * sizeof(QChar));
    return true;
}

std::vector<DeliveryOutbox::Item> DeliveryOutbox::takeAll()
{
    {
        const std::lock_guard lock(m_mutex);
        m_filling.swap(m_draining);
        m_turnedAwayBeforeTake = std::exchange(m_turnedAway, false);
    }
    std::vector<Item> items;
    std::size_t at = 0;
    while (at + sizeof(Header) <= m_draining.size()) {
        Header header {};
        std::memcpy(&header, m_draining.data() + at, sizeof header);
        at += sizeof header;
        Item item;
        item.connectionId = header.connectionId;
        item.kind = static_cast<Kind>(header.kind);
        item.logColor = static_cast<common::LogColor>(header.color);
        item.eventName = QString(reinterpret_cast<const QChar*>(m_draining.data() + at), header.nameChars);
        at += header.nameChars * sizeof(QChar);
        item.body = QByteArray(m_draining.data() + at, header.bodyBytes);
        at += header.bodyBytes;
        item.adapter = QString(reinterpret_cast<const QChar*>(m_draining.data() + at), header.adapterChars);
        at += header.adapterChars * sizeof(QChar);
        item.agentProcess = QString(reinterpret_cast<const QChar*>(m_draining.data() + at), header.agentProcessChars);
        at += header.agentProcessChars * sizeof(QChar);
        items.push_back(std::move(item));
    }
    // clear() keeps the capacity, so the next swap hands the producer a buffer that is already large enough.
    m_draining.clear();
    if (m_draining.capacity() > keptCapacity) {
        m_draining.shrink_to_fit();
    }
    return items;
}

} // namespace murmeli::hooks
