#include "platform/audio/AudioFormat.h"

namespace murmeli::platform {

namespace {

constexpr int minRate = 1000;
constexpr int maxRate = 384000;
constexpr int maxChannels = 8;

} // namespace

bool AudioFormat::isValid() const
{
    return sampleRate >= minRate && sampleRate <= maxRate && channels >= 1 && channels <= maxChannels;
}

int AudioFormat::bytesPerSample() const
{
    switch (sampleType) {
    case SampleType::UInt8:
        return 1;
    case SampleType::Int16:
        return 2;
    case SampleType::Int32:
    case SampleType::Float32:
        return 4;
    }
    return 0;
}

qsizetype AudioFormat::bytesForMs(int ms) const
{
    return qsizetype(sampleRate) * ms / 1000 * bytesPerFrame();
}

QString AudioFormat::describe() const
{
    static const char* const names[] = { "uint8", "int16", "int32", "float32" };
    return QStringLiteral("%1 Hz, %2 ch, %3")
        .arg(sampleRate)
        .arg(channels)
        .arg(QLatin1String(names[static_cast<int>(sampleType)]));
}

} // namespace murmeli::platform
