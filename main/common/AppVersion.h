#pragma once

namespace murmeli::common {

/// The application's version text, compiled in from the project's version in CMakeLists.txt.
inline constexpr const char* APP_VERSION = MURMELI_VERSION;

} // namespace murmeli::common
