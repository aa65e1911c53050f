#pragma once

#include <QByteArray>
#include <QStringList>

namespace murmeli::device {

/// Turns the device's notifications into text lines: a line may span notifications and one notification may hold
/// several. Complete lines are taken out before the size cap is applied to what is left, so a burst never costs
/// the lines that did arrive whole; an unfinished line that outgrows the cap is thrown away up to its line feed.
class LineAssembler final {
public:
    /// The most bytes one line may have, its line feed not counted.
    static constexpr qsizetype maxLineBytes = 4096;

    /// The complete lines the chunk finished, in order: decoded as UTF-8 (invalid text is dropped), one trailing
    /// carriage return removed, spaces and tabs trimmed, empty lines left out.
    QStringList feed(const QByteArray& chunk);

    /// Forgets any unfinished line, as on a new connection.
    void clear();

    /// Bytes of the unfinished line held now.
    qsizetype pendingBytes() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    /// Set while the rest of an overlong line is still arriving; its tail must not pass for a line.
    bool m_skippingOverlong = false;
};

} // namespace murmeli::device
