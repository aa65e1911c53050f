#pragma once

#include <cstdlib>
#include <memory>

namespace murmeli::platform {

/// xcb hands out replies and errors allocated with malloc; this frees them when they go out of scope.
struct X11FreeDeleter final {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using X11Reply = std::unique_ptr<T, X11FreeDeleter>;

} // namespace murmeli::platform
