#include "main/voice/flow/VoiceFlowClock.h"

#include "main/common/Clock.h"

namespace murmeli::voice {

VoiceFlowClock VoiceFlowClock::over(common::Clock& clock)
{
    return VoiceFlowClock {
        [&clock] { return clock.monotonicMs(); },
        [&clock](qint64 ms, std::function<void()> action) -> Cancel {
            const common::Clock::TimerId id = clock.schedule(ms, std::move(action));
            return [&clock, id] { clock.cancel(id); };
        },
    };
}

} // namespace murmeli::voice
