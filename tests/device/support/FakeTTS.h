#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "main/common/OneShot.h"
#include "main/device/speech/TTSBackend.h"
#include "main/device/speech/TTSOutput.h"

namespace murmeli::test {

/// A synthesis backend that records the phrases it is asked for and answers with scripted PCM (nullopt: a failed
/// synthesis). While held, every answer waits until release().
class FakeTTSBackend final : public device::TTSBackend {
public:
    explicit FakeTTSBackend(QString id = QStringLiteral("apple-tts"));

    bool available = true;
    std::optional<QByteArray> pcm = QByteArray(3200, '\x11');
    QStringList phrases;

    QString id() const override { return m_id; }
    QString displayName() const override { return m_id; }
    bool isAvailable() const override { return available; }
    QCoro::Task<std::optional<QByteArray>> synthesize(QString text) override;

    /// From now on answers wait for release().
    void hold();
    /// Lets every waiting answer through, and later ones at once.
    void release();

private:
    QString m_id;
    std::optional<common::OneShot<bool>> m_gate;
};

/// An output that records every buffer it is handed and how often it was stopped. While held, play() completes only
/// at release().
class RecordingTTSOutput final : public device::TTSOutput {
public:
    explicit RecordingTTSOutput(QString id);

    bool available = true;
    std::vector<QByteArray> played;
    int stops = 0;

    QString id() const override { return m_id; }
    QString displayName() const override { return m_id; }
    bool isAvailable() const override { return available; }
    QCoro::Task<> play(QByteArray adpcm) override;
    void stop() override { ++stops; }

    void hold();
    void release();

private:
    QString m_id;
    std::optional<common::OneShot<bool>> m_gate;
};

} // namespace murmeli::test
