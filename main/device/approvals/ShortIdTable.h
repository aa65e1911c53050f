#pragma once

#include <deque>
#include <optional>

#include <QHash>
#include <QSet>
#include <QString>

namespace murmeli::device {

/// The device shows at most 16 characters of a request's id and answers with what it was shown, while the pending
/// table knows requests only by their full id. Each request gets a short id that no other request gets while the
/// table lives: an id that fits is shown as itself the first time only, any other id gets the first characters of
/// the full id, "~", a serial number that only grows, and "…". A short id is live while its request waits on the
/// device and retired once it is over; a retired id never names a request again. Main thread only.
class ShortIdTable final {
public:
    /// Live ids at most; the oldest is retired to make room. Far more than the requests that wait at one time.
    static constexpr qsizetype capacity = 64;
    /// Retired ids remembered, so that a late answer can be told from one that names nothing ever shown.
    static constexpr qsizetype retiredCapacity = 256;
    /// Ids shown as themselves, remembered so that none is shown twice; once full, every id gets a serial.
    static constexpr qsizetype plainCapacity = 4096;

    /// The serials start at a random point, so the first requests of a run are not named like those a device may
    /// still show from the run before.
    ShortIdTable();
    explicit ShortIdTable(quint64 firstSerial);

    /// The live short id of this request, given now when it has none. A retired request gets a new one.
    QString shortIdFor(const QString& fullId);
    /// The full id behind a live short id; the text unchanged when it names no live request.
    QString fullIdFor(const QString& wireId) const;
    /// The live short id of this request, if it has one.
    std::optional<QString> liveShortId(const QString& fullId) const;
    /// The full id of the request this retired short id named, if it is still remembered.
    std::optional<QString> retiredFullId(const QString& wireId) const;
    /// The request is over on the device; its short id is never given again.
    void retire(const QString& fullId);

    /// Whether the request has a live short id.
    bool knows(const QString& fullId) const { return m_byFull.contains(fullId); }
    /// Live ids.
    qsizetype size() const { return m_byFull.size(); }

private:
    QString newShortId(const QString& fullId);

    quint64 m_nextSerial = 0;
    QHash<QString, QString> m_byFull;
    QHash<QString, QString> m_byShort;
    std::deque<QString> m_order;
    QHash<QString, QString> m_retired; // short id → full id
    std::deque<QString> m_retiredOrder;
    QSet<QString> m_plainGiven;
};

} // namespace murmeli::device
