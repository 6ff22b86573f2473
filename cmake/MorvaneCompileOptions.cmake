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
endif()

# Attaches the shared settings to a target without exporting them to consumers.
function(morvane_target_defaults target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:morvane_compile_options>)
endfunction()
