# ORV_SANITIZE instruments every target built after this file is included:
#   ""        none
#   "address" AddressSanitizer (LeakSanitizer included) and UndefinedBehaviorSanitizer
#   "thread"  ThreadSanitizer
set(ORV_SANITIZE "" CACHE STRING "Sanitizers for every target: empty, address or thread")
set_property(CACHE ORV_SANITIZE PROPERTY STRINGS "" address thread)
# libFuzzer targets in tests/fuzz/: Clang only, and with ORV_SANITIZE=address.
option(ORV_FUZZ "Build the libFuzzer targets in tests/fuzz/" OFF)

if(ORV_SANITIZE STREQUAL "")
  return()
elseif(ORV_SANITIZE STREQUAL "address")
  # No recovery: a UBSan finding must fail the run, not scroll past in a log.
  set(_orv_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(ORV_SANITIZE STREQUAL "thread")
  set(_orv_sanitize_flags -fsanitize=thread)
else()
  message(FATAL_ERROR "ORV_SANITIZE must be empty, \"address\" or \"thread\", not \"${ORV_SANITIZE}\"")
endif()

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  message(FATAL_ERROR "ORV_SANITIZE needs GCC or Clang")
endif()

# Frame pointers keep the reports' stacks whole with the fast unwinder.
add_compile_options(${_orv_sanitize_flags} -fno-omit-frame-pointer)
add_link_options(${_orv_sanitize_flags})
message(STATUS "Sanitizers: ${ORV_SANITIZE}")
unset(_orv_sanitize_flags)
