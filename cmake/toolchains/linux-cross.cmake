# Cross-build for Linux on another processor with Debian's g++-<triple>; CTest runs the results
# under qemu-user. The target is its GNU triple:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-cross.cmake -DMORVANE_TARGET=s390x-linux-gnu
# Targets checked: i686-linux-gnu, arm-linux-gnueabihf, riscv64-linux-gnu,
# powerpc64le-linux-gnu, s390x-linux-gnu and aarch64-linux-gnu.
set(MORVANE_TARGET "" CACHE STRING "GNU triple of the target, e.g. s390x-linux-gnu")
if(NOT MORVANE_TARGET)
  message(FATAL_ERROR "linux-cross.cmake needs -DMORVANE_TARGET=<triple>")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MORVANE_TARGET)

string(REGEX MATCH "^[^-]+" processor "${MORVANE_TARGET}")
set(emulator "")
set(emulators i686=i386 arm=arm riscv64=riscv64 powerpc64le=ppc64le s390x=s390x aarch64=aarch64)
foreach(pair IN LISTS emulators)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  if(name STREQUAL processor)
    list(GET pair 1 emulator)
  endif()
endforeach()
if(NOT emulator)
  message(FATAL_ERROR "no qemu-user emulator known for ${MORVANE_TARGET}")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor})
set(CMAKE_C_COMPILER ${MORVANE_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${MORVANE_TARGET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${MORVANE_TARGET})
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${emulator} -L /usr/${MORVANE_TARGET})
set(CMAKE_FIND_ROOT_PATH /usr/${MORVANE_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
