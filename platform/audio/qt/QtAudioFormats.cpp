#include "platform/audio/qt/QtAudioFormats.h"

namespace murmeli::platform::QtAudioFormats {

std::optional<SampleType> sampleTypeOf(QAudioFormat::SampleFormat format)
{
    switch (format) {
    case QAudioFormat::UInt8:
        return SampleType::UInt8;
    case QAudioFormat::Int16:
        return SampleType::Int16;
    case QAudioFormat::Int32:
        return SampleType::Int32;
    case QAudioFormat::Float:
        return SampleType::Float32;
    default:
        return std::nullopt;
    }
}

QAudioFormat toQt(const AudioFormat& format)
{
    QAudioFormat qt;
    qt.setSampleRate(format.sampleRate);
    qt.setChannelCount(format.channels);
    switch (format.sampleType) {
    case SampleType::UInt8:
        qt.setSampleFormat(QAudioFormat::UInt8);
        break;
    case SampleType::Int16:
        qt.setSampleFormat(QAudioFormat::Int16);
        break;
    case SampleType::Int32:
        qt.setSampleFormat(QAudioFormat::Int32);
        break;
    case SampleType::Float32:
        qt.setSampleFormat(QAudioFormat::Float);
        break;
    }
    return qt;
}

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("no error");
    case QAudio::OpenError:
        return QStringLiteral("the device could not be opened");
    case QAudio::IOError:
        return QStringLiteral("the device could not be read or written");
    case QAudio::UnderrunError:
        return QStringLiteral("the device ran dry");
    case QAudio::FatalError:
        return QStringLiteral("the device failed and cannot be used");
    }
    return QStringLiteral("unknown error");
}

} // namespace murmeli::platform::QtAudioFormats
