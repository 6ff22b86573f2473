# Compile settings shared by every Morvane target.
#
# The bakes are bit-exact only when each float operation is rounded by itself: no fused
# multiply-add (GCC fuses by default in GNU modes on some targets) and never fast-math.

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_library(morvane_compile_options INTERFACE)
if(MSVC)
  target_compile_options(morvane_compile_options INTERFACE /fp:precise /W4)
else()
  target_compile_options(morvane_compile_options INTERFACE
    -ffp-contract=off -fno-fast-math -Wall -Wextra -Wpedantic)
  # 32-bit x86 computes floats on the x87 unit with wider intermediates by default; scalar SSE2
  # rounds every operation to single precision, as every other target does.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|x86_64|AMD64)$")
    target_compile_options(morvane_compile_options INTERFACE -msse2 -mfpmath=sse)
  endif()
endif()

# Sanitizers for checking builds, e.g. -DMORVANE_SANITIZERS=address,undefined,float-cast-overflow.
# Every report is fatal, so a test run fails on the first one.
set(MORVANE_SANITIZERS "" CACHE STRING "Comma-separated sanitizers for every Morvane target")
if(MORVANE_SANITIZERS)
  target_compile_options(morvane_compile_options INTERFACE
    -fsanitize=${MORVANE_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(morvane_compile_options INTERFACE -fsanitize=${MORVANE_SANITIZERS})
endif()

# Fuzzing builds (clang): coverage for libFuzzer in every target.
option(MORVANE_BUILD_FUZZERS "Build the libFuzzer target (needs clang)" OFF)
if(MORVANE_BUILD_FUZZERS)
  target_compile_options(morvane_compile_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Attaches the shared settings to a target without exporting them to consumers.
function(morvane_target_defaults target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:morvane_compile_options>)
endfunction()
