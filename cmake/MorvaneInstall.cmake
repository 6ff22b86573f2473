# Installation: the command and its man page, or on Windows its licence, README and documents
# (component "bin"), and the engine library, its
# header <morvane/BakeEngine.h>, a CMake package for find_package(Morvane) and a pkg-config file
# (component "dev").

include(CMakePackageConfigHelpers)

# Compresses `input` into `output` when `target` builds, reproducibly (no name or time in the
# gzip header), as Debian wants man pages and changelogs. Without gzip, MORVANE_GZIP is false.
find_program(MORVANE_GZIP gzip)
function(morvane_gzip target input output)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${MORVANE_GZIP}" -9 -n -c "${input}" > "${output}"
    DEPENDS "${input}" VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()

set(MORVANE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Morvane")
set(MORVANE_PKGCONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

install(TARGETS morvane_bake EXPORT MorvaneTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev NAMELINK_COMPONENT dev
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT dev)
install(FILES "${PROJECT_SOURCE_DIR}/bake/include/morvane/BakeEngine.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/morvane" COMPONENT dev)
install(EXPORT MorvaneTargets NAMESPACE morvane:: DESTINATION "${MORVANE_CMAKE_DIR}"
  COMPONENT dev)

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/MorvaneConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/MorvaneConfig.cmake" INSTALL_DESTINATION "${MORVANE_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/MorvaneConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/MorvaneConfig.cmake"
  "${PROJECT_BINARY_DIR}/MorvaneConfigVersion.cmake"
  DESTINATION "${MORVANE_CMAKE_DIR}" COMPONENT dev)

# The .pc file finds the prefix from its own place, so it holds under any prefix.
file(RELATIVE_PATH MORVANE_PREFIX_FROM_PKGCONFIG "/${MORVANE_PKGCONFIG_DIR}" "/")
string(REGEX REPLACE "/$" "" MORVANE_PREFIX_FROM_PKGCONFIG "${MORVANE_PREFIX_FROM_PKGCONFIG}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/morvane.pc.in" "${PROJECT_BINARY_DIR}/morvane.pc"
  @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/morvane.pc" DESTINATION "${MORVANE_PKGCONFIG_DIR}"
  COMPONENT dev)

if(MORVANE_BUILD_APP)
  install(TARGETS morvane RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT bin)
  if(WIN32)
    # Windows has no man pages; the licence and the README sit at the top of the folder, and the
    # documents and pictures that the README links to beside them.
    install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/README.md"
      DESTINATION . COMPONENT bin)
    file(GLOB documents "${PROJECT_SOURCE_DIR}/docs/*.md" "${PROJECT_SOURCE_DIR}/docs/*.png")
    install(FILES ${documents} DESTINATION docs COMPONENT bin)
  elseif(MORVANE_GZIP)
    # Man pages are installed compressed.
    morvane_gzip(morvane_man_page "${PROJECT_SOURCE_DIR}/docs/morvane.1"
      "${PROJECT_BINARY_DIR}/morvane.1.gz")
    install(FILES "${PROJECT_BINARY_DIR}/morvane.1.gz"
      DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT bin)
  else()
    install(FILES "${PROJECT_SOURCE_DIR}/docs/morvane.1"
      DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT bin)
  endif()
endif()
