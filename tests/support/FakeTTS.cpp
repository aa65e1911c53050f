#include "tests/support/FakeTTS.h"

#include <utility>

namespace murmeli::test {

QCoro::Task<std::optional<QByteArray>> FakeTTSBackend::synthesize(QString text)
{
    phrases << text;
    // QCoro moves from an lvalue handed to co_return; the scripted answer must stay for the next phrase.
    std::optional<QByteArray> answer = pcm;
    co_return answer;
}

QCoro::Task<> RecordingTTSOutput::play(QByteArray adpcm)
{
    played.push_back(adpcm);
    if (m_gate) {
        const common::OneShot<bool> gate = *m_gate;
        co_await gate;
    }
}

void RecordingTTSOutput::release()
{
    if (m_gate) {
        std::exchange(m_gate, std::nullopt)->fulfil(true);
    }
}

} // namespace murmeli::test
