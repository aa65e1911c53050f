#include "tests/device/support/FakeTTS.h"

#include <utility>

namespace murmeli::test {

namespace {

void open(std::optional<common::OneShot<bool>>& gate)
{
    if (gate) {
        std::exchange(gate, std::nullopt)->fulfil(true);
    }
}

} // namespace

FakeTTSBackend::FakeTTSBackend(QString id) : m_id(std::move(id)) { }

QCoro::Task<std::optional<QByteArray>> FakeTTSBackend::synthesize(QString text)
{
    phrases << text;
    if (m_gate) {
        const common::OneShot<bool> gate = *m_gate;
        co_await gate;
    }
    // QCoro moves from an lvalue handed to co_return; the scripted answer must stay for the next phrase.
    std::optional<QByteArray> answer = pcm;
    co_return answer;
}

void FakeTTSBackend::hold()
{
    m_gate.emplace();
}

void FakeTTSBackend::release()
{
    open(m_gate);
}

RecordingTTSOutput::RecordingTTSOutput(QString id) : m_id(std::move(id)) { }

QCoro::Task<> RecordingTTSOutput::play(QByteArray adpcm)
{
    played.push_back(adpcm);
    if (m_gate) {
        const common::OneShot<bool> gate = *m_gate;
        co_await gate;
    }
}

void RecordingTTSOutput::hold()
{
    m_gate.emplace();
}

void RecordingTTSOutput::release()
{
    open(m_gate);
}

} // namespace murmeli::test
