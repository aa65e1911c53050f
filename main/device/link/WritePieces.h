#pragma once

#include <QByteArray>
#include <QList>

/// How bytes are cut for the radio: no write may be longer than the link takes at once.
namespace murmeli::device::WritePieces {

/// The smallest write every peripheral accepts (an ATT payload at the default MTU).
inline constexpr int minimumWrite = 20;

/// The bytes in consecutive pieces of at most max(maxWrite, minimumWrite) bytes, in order; none for "".
QList<QByteArray> split(const QByteArray& bytes, int maxWrite);

} // namespace murmeli::device::WritePieces
