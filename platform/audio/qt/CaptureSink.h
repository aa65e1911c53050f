#pragma once

#include <functional>

#include <QByteArrayView>
#include <QIODevice>

namespace murmeli::platform {

/// The device a pulling audio source writes into: it hands each written buffer on, once, and keeps nothing.
class CaptureSink final : public QIODevice {
    Q_OBJECT

public:
    CaptureSink() = default;

    /// Called with every buffer the source writes, on the source's thread.
    std::function<void(QByteArrayView)> onWrite;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;
};

} // namespace murmeli::platform
