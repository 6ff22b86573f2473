# Compile settings shared by every Morvane target.
#
# The bakes are bit-exact only when each float operation is rounded by itself: no fused
# multiply-add (GCC fuses by default in GNU modes on some targets) and never fast-math.

# Everything here stays on Morvane's own targets (morvane_target_defaults): a host project's
# standard, flags and warnings are its own.
add_library(morvane_compile_options INTERFACE)
target_compile_features(morvane_compile_options INTERFACE cxx_std_20)
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

# Sanitizers for checking builds: every report is fatal, so a test run fails on the first one.
if(MORVANE_SANITIZERS)
  target_compile_options(morvane_compile_options INTERFACE
    -fsanitize=${MORVANE_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(morvane_compile_options INTERFACE -fsanitize=${MORVANE_SANITIZERS})
endif()

# Fuzzing builds (clang): coverage for libFuzzer in every target.
if(MORVANE_BUILD_FUZZERS)
  target_compile_options(morvane_compile_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Attaches the shared settings to a target without exporting them to consumers.
function(morvane_target_defaults target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:morvane_compile_options>)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
endfunction()
