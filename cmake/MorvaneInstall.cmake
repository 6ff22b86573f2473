# Installation: the command and its man page (component "bin"), and the engine library, its
# header and a CMake package for find_package(Morvane) (component "dev").

include(CMakePackageConfigHelpers)

set(MORVANE_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Morvane")

install(TARGETS morvane_bake EXPORT MorvaneTargets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT dev)
install(FILES "${PROJECT_SOURCE_DIR}/bake/BakeEngine.h"
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

if(MORVANE_BUILD_APP)
  install(TARGETS morvane RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT bin)
  install(FILES "${PROJECT_SOURCE_DIR}/docs/morvane.1"
    DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT bin)
endif()
