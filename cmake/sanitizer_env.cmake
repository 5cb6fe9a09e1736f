# Read by ctest with the native build's test list: the environment set here
# is inherited by every test it starts. Options already in the environment
# are appended, so they win.
#
# allocator_may_return_null: tests check that a failed huge allocation is
# refused with a log line, which needs malloc to return null instead of
# ending the process.
set(asan allocator_may_return_null=1:detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1)
set(ubsan print_stacktrace=1:halt_on_error=1)
if(NOT "$ENV{ASAN_OPTIONS}" STREQUAL "")
  string(APPEND asan ":$ENV{ASAN_OPTIONS}")
endif()
if(NOT "$ENV{UBSAN_OPTIONS}" STREQUAL "")
  string(APPEND ubsan ":$ENV{UBSAN_OPTIONS}")
endif()
set(ENV{ASAN_OPTIONS} "${asan}")
set(ENV{UBSAN_OPTIONS} "${ubsan}")
