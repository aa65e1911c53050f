#include "main/device/link/WritePieces.h"

#include <algorithm>

namespace murmeli::device::WritePieces {

QList<QByteArray> split(const QByteArray& bytes, int maxWrite)
{
    const qsizetype size = std::max(maxWrite, minimumWrite);
    QList<QByteArray> pieces;
    pieces.reserve((bytes.size() + size - 1) / size);
    for (qsizetype offset = 0; offset < bytes.size(); offset += size) {
        pieces << bytes.mid(offset, size);
    }
    return pieces;
}

} // namespace murmeli::device::WritePieces
