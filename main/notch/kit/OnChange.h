#pragma once

#include <optional>
#include <utility>

namespace murmeli::notch {

/// Watches a value across updates and tells a real change from the first sight of it: a change handler runs when
/// the watched value changes, never when the view is first shown.
template <typename T> class OnChange final {
public:
    /// Records value; true when an earlier value was seen and differs from it.
    bool operator()(const T& value)
    {
        const bool changed = m_last.has_value() && !(*m_last == value);
        m_last = value;
        return changed;
    }

private:
    std::optional<T> m_last;
};

} // namespace murmeli::notch
