#include "platform/system/MemoryRelease.h"

#include <malloc.h>

namespace murmeli::platform {

bool releaseFreeMemory()
{
    // glibc keeps freed blocks in its arenas; trimming returns the unused pages of every arena, not only the top.
    return ::malloc_trim(0) != 0;
}

} // namespace murmeli::platform
