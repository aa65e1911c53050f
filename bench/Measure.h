#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

namespace murmeli::bench {

/// CPU time of the calling thread in milliseconds: what the main thread spent, whatever else the machine did.
inline double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

/// The value below which the fraction p of the values lie (nearest rank); values must not be empty.
inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5))];
}

} // namespace murmeli::bench
