# Runs morvane --bake-all (through EMULATOR, if given) and checks the four files' digests.
# Usage: cmake -DMORVANE=... [-DEMULATOR=...] -DSCRATCH=dir -P FullSetDigests.cmake
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND ${EMULATOR} "${MORVANE}" --bake-all "${SCRATCH}/set"
  RESULT_VARIABLE status OUTPUT_VARIABLE output)
# A Windows program writes its text lines with CR LF.
string(REPLACE "\r\n" "\n" output "${output}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "morvane --bake-all failed with ${status}")
endif()
if(NOT output STREQUAL "SUCCESS: Baked complete 4-channel PBR texture set to ${SCRATCH}/set_*.ppm\n")
  message(FATAL_ERROR "unexpected result line: ${output}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../KnownDigests.cmake)
foreach(name ao normal curvature id)
  set(expected "${MORVANE_DIGEST_${name}}")
  file(SHA256 "${SCRATCH}/set_${name}.ppm" actual)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "set_${name}.ppm: ${actual}, expected ${expected}")
  endif()
  message(STATUS "set_${name}.ppm ${actual}")
endforeach()
