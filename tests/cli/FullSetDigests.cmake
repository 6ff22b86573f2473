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
foreach(pair
    "ao=0116794231e85574a77e8fbe565c710a9d0d5a4a484d342342d03e1c703d41f7"
    "normal=79e55f5308a27d9c766749cef81ab42c6205dc779421ad3a70d621e074ac8519"
    "curvature=555ba42c6e9161d2d16304f32a01495bf3d7c3bca0e7921f9b545c8a0ce753e2"
    "id=834b58f3f083478f48a18e2412f59d9a2cb0c5e1cabc1917d58360412ab6e73f")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 expected)
  file(SHA256 "${SCRATCH}/set_${name}.ppm" actual)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "set_${name}.ppm: ${actual}, expected ${expected}")
  endif()
  message(STATUS "set_${name}.ppm ${actual}")
endforeach()
