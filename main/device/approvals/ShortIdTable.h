#pragma once

#include <deque>

#include <QHash>
#include <QString>

namespace murmeli::device {

/// The device shows at most 16 characters of a request's id and answers with what it was shown, while the pending
/// table knows requests only by their full id. Each full id gets one short id, unique among those remembered, so
/// prompt, warning, cancel and the device's answer all name the same request. Main thread only.
class ShortIdTable final {
public:
    /// Ids remembered at most; the oldest go first. Far more than the requests that wait at one time.
    static constexpr qsizetype capacity = 64;

    /// The id the device is shown for this request: the id itself when it fits and is clean, else a cut form.
    QString shortIdFor(const QString& fullId);
    /// The full id behind what the device sent; the text unchanged when it names no remembered request.
    QString fullIdFor(const QString& wireId) const;
    /// The request is over; its short id may be given again.
    void forget(const QString& fullId);

    /// Whether a short id is given for this full id now.
    bool knows(const QString& fullId) const { return m_byFull.contains(fullId); }
    qsizetype size() const { return m_byFull.size(); }

private:
    QString uniqueShortId(const QString& fullId) const;

    QHash<QString, QString> m_byFull;
    QHash<QString, QString> m_byShort;
    std::deque<QString> m_order;
};

} // namespace murmeli::device
