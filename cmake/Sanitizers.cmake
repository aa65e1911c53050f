# A sanitizer build (MURMELI_SANITIZE) compiles its options into every executable, so that murmeli started by a test,
# by hand or by another program runs with the checked-in suppressions whatever its environment; the sanitizers' own
# variables (ASAN_OPTIONS, ...) still override them. An address or undefined-behaviour finding ends the process failed;
# the thread sanitizer's are read from its output (they cannot change the status of a process that ends through
# common::endProcess).

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
