#pragma once

namespace murmeli::platform {

/// Hands heap memory that was freed after a burst back to the system, so resident memory returns to its idle level;
/// false when there was nothing to give back.
bool releaseFreeMemory();

} // namespace murmeli::platform
