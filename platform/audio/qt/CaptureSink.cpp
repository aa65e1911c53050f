#include "platform/audio/qt/CaptureSink.h"

namespace murmeli::platform {

qint64 CaptureSink::readData(char*, qint64)
{
    return -1;
}

qint64 CaptureSink::writeData(const char* data, qint64 size)
{
    if (onWrite && size > 0) {
        onWrite(QByteArrayView(data, size));
    }
    return size;
}

} // namespace murmeli::platform
