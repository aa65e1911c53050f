# A sanitizer build (MURMELI_SANITIZE) compiles its options into every executable, so that murmeli started by a test,
# by hand or by another program runs with the checked-in suppressions and ends failed on a finding, whatever its
# environment; the sanitizers' own variables (ASAN_OPTIONS, ...) still override them.

function(murmeli_sanitize_executables)
  configure_file("${CMAKE_SOURCE_DIR}/tests/sanitizers/SanitizerDefaults.cpp.in"
    "${CMAKE_BINARY_DIR}/SanitizerDefaults.cpp" @ONLY)
  murmeli_collect_targets("${CMAKE_SOURCE_DIR}" targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_sources(${target} PRIVATE "${CMAKE_BINARY_DIR}/SanitizerDefaults.cpp")
    endif()
  endforeach()
endfunction()
