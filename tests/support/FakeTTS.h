#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "main/common/OneShot.h"
#include "main/device/tts/TTSBackend.h"
#include "main/device/tts/TTSOutput.h"

namespace murmeli::test {

/// A synthesis backend that records the phrases it is asked for and answers at once with scripted PCM (nullopt: a
/// failed synthesis).
class FakeTTSBackend final : public device::TTSBackend {
public:
    bool available = true;
    std::optional<QByteArray> pcm = QByteArray(3200, '\x11');
    QStringList phrases;

    QString id() const override { return QStringLiteral("apple-tts"); }
    QString displayName() const override { return id(); }
    bool isAvailable() const override { return available; }
    QCoro::Task<std::optional<QByteArray>> synthesize(QString text) override;
};

/// An output that records every buffer it is handed. While held, play() completes only at release().
class RecordingTTSOutput final : public device::TTSOutput {
public:
    explicit RecordingTTSOutput(QString id) : m_id(std::move(id)) { }

    bool available = true;
    std::vector<QByteArray> played;

    QString id() const override { return m_id; }
    QString displayName() const override { return m_id; }
    bool isAvailable() const override { return available; }
    QCoro::Task<> play(QByteArray adpcm) override;
    void stop() override { }

    void hold() { m_gate.emplace(); }
    void release();

private:
    QString m_id;
    std::optional<common::OneShot<bool>> m_gate;
};

} // namespace murmeli::test
