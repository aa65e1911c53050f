#include "platform/overlay/x11/X11DisplayClock.h"

#include <cstring>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11DisplayClock::X11DisplayClock(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection))
{
    xcb_connection_t* c = m_connection->connection();
    if (!m_connection->hasExtension("SYNC")) {
        return;
    }
    const X11Reply<xcb_sync_initialize_reply_t> initialized(
        xcb_sync_initialize_reply(c, xcb_sync_initialize(c, XCB_SYNC_MAJOR_VERSION, XCB_SYNC_MINOR_VERSION), nullptr));
    if (!initialized) {
        return;
    }
    const X11Reply<xcb_sync_list_system_counters_reply_t> counters(
        xcb_sync_list_system_counters_reply(c, xcb_sync_list_system_counters(c), nullptr));
    if (!counters) {
        return;
    }
    static constexpr char name[] = "SERVERTIME";
    for (xcb_sync_systemcounter_iterator_t it = xcb_sync_list_system_counters_counters_iterator(counters.get()); it.rem;
         xcb_sync_systemcounter_next(&it)) {
        // The name follows its length on the wire; the C struct is padded past it, which throws off
        // xcb_sync_systemcounter_name().
        const char* named = reinterpret_cast<const char*>(&it.data->name_len) + sizeof(it.data->name_len);
        if (it.data->name_len == std::strlen(name) && std::memcmp(named, name, it.data->name_len) == 0) {
            m_counter = it.data->counter;
            return;
        }
    }
}

std::optional<quint32> X11DisplayClock::displayTimeMs()
{
    if (m_counter == XCB_NONE) {
        return std::nullopt;
    }
    xcb_connection_t* c = m_connection->connection();
    const X11Reply<xcb_sync_query_counter_reply_t> reply(
        xcb_sync_query_counter_reply(c, xcb_sync_query_counter(c, m_counter), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    // Events carry the counter's low 32 bits.
    return reply->counter_value.lo;
}

std::optional<QImage> X11DisplayClock::screenImage(QRect at)
{
    if (at.isEmpty()) {
        return std::nullopt;
    }
    xcb_connection_t* c = m_connection->connection();
    const X11Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_connection->root(), qint16(at.x()), qint16(at.y()),
            quint16(at.width()), quint16(at.height()), ~0U),
        nullptr));
    // A root of 24 or 32 bits a pixel, as every desktop of today has, holds each in 32 bits, blue first, rows unpadded.
    const qsizetype bytes = qsizetype(at.width()) * at.height() * 4;
    if (!image || (image->depth != 24 && image->depth != 32) || xcb_get_image_data_length(image.get()) < bytes) {
        return std::nullopt;
    }
    const uint8_t* data = xcb_get_image_data(image.get());
    QImage shown(at.size(), QImage::Format_RGB32);
    for (int y = 0; y < at.height(); ++y) {
        for (int x = 0; x < at.width(); ++x) {
            const uint8_t* pixel = data + (qsizetype(y) * at.width() + x) * 4;
            shown.setPixel(x, y, qRgb(pixel[2], pixel[1], pixel[0]));
        }
    }
    return shown;
}

} // namespace murmeli::platform
