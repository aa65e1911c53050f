#include "main/device/link/OutgoingLines.h"

#include <algorithm>
#include <array>
#include <utility>

#include "main/common/TextUtils.h"

namespace murmeli::device {

namespace {

// The lines of the device's current state; of each only the newest means anything.
constexpr std::array<QStringView, 10> stateTags
    = { u"TS:", u"L:", u"D:", u"M:", u"S:", u"T:", u"SL:", u"AU:", u"PL:", u"DV:" };
constexpr QStringView sessionDetailTag = u"SD:";
constexpr QStringView approvalTag = u"Q:";

} // namespace

OutgoingLines::OutgoingLines(common::Clock& clock) : m_clock(clock) { }

OutgoingLines::~OutgoingLines()
{
    clear();
}

QByteArray OutgoingLines::encode(const QString& line)
{
    return common::text::truncateUtf8(line, static_cast<int>(maxLineBytes)) + '\n';
}

std::optional<QString> OutgoingLines::replacementKey(const QString& line)
{
    if (line.startsWith(sessionDetailTag)) {
        return line.section(QLatin1Char(','), 0, 0);
    }
    const auto tag = std::find_if(
        stateTags.cbegin(), stateTags.cend(), [&](QStringView candidate) { return line.startsWith(candidate); });
    if (tag == stateTags.cend()) {
        return std::nullopt;
    }
    return tag->toString();
}

void OutgoingLines::send(const QString& line)
{
    queue(line);
    pump();
}

void OutgoingLines::queue(const QString& line)
{
    if (line.startsWith(approvalTag)) {
        m_urgent.push_back(encode(line));
        return;
    }
    std::optional<QString> key = replacementKey(line);
    if (key) {
        const auto waiting = std::find_if(
            m_normal.begin(), m_normal.end(), [&](const Waiting& candidate) { return candidate.key == key; });
        if (waiting != m_normal.end()) {
            waiting->bytes = encode(line);
            return;
        }
    }
    if (static_cast<qsizetype>(m_normal.size()) >= maxWaiting) {
        m_normal.pop_front();
        if (!std::exchange(m_behind, true) && onBehind) {
            onBehind();
        }
    }
    m_normal.push_back(Waiting { std::move(key), encode(line) });
}

void OutgoingLines::pump()
{
    const qint64 now = m_clock.continuousMs();
    if (!m_windowStartMs || now - *m_windowStartMs >= windowMs) {
        m_windowStartMs = now;
        m_windowWrites = 0;
    }
    // An approval line never waits for the window: ahead of it the radio holds at most one window's writes.
    while (!m_urgent.empty()) {
        const QByteArray bytes = std::move(m_urgent.front());
        m_urgent.pop_front();
        m_windowWrites += write ? write(bytes) : 0;
    }
    while (!m_normal.empty() && m_windowWrites < writesPerWindow) {
        const QByteArray bytes = std::move(m_normal.front().bytes);
        m_normal.pop_front();
        m_windowWrites += write ? write(bytes) : 0;
    }
    if (m_normal.empty()) {
        m_behind = false;
        return;
    }
    if (!m_pumpTimer) {
        m_pumpTimer = m_clock.schedule(*m_windowStartMs + windowMs - now, [this] {
            m_pumpTimer.reset();
            pump();
        });
    }
}

void OutgoingLines::clear()
{
    m_urgent.clear();
    m_normal.clear();
    m_behind = false;
    if (const auto timer = std::exchange(m_pumpTimer, std::nullopt)) {
        m_clock.cancel(*timer);
    }
}

} // namespace murmeli::device
