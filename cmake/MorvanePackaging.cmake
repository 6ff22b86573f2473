# Packages through CPack. On Windows, a zip (cpack -G ZIP) of the installed folder: bin/morvane.exe,
# the static engine library for MinGW, its header, the CMake package and the pkg-config file,
# LICENSE and README.md.
#
# Elsewhere, Debian packages (cpack -G DEB): "morvane" holds the command, its man page and how
# maps are written (writing.md); "morvane-dev" holds the engine library, its header, the CMake
# package, the pkg-config file, library.md and writing.md.
# The library is static in the packages, so no runtime library package is needed. Each package
# carries the licence (a machine-readable copyright file) and the changelog, and its Depends are
# computed from the binaries with dpkg-shlibdeps. The window library is only recommended: the
# bake commands never load it.

set(CPACK_PACKAGE_NAME "morvane")
set(CPACK_PACKAGE_VENDOR "Morvane Lab")
set(CPACK_PACKAGE_CONTACT "Morvane Lab <maintainers@morvane-lab.invalid>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_COMPONENTS_ALL bin dev)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "morvane-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_BIN_PACKAGE_NAME "morvane")
set(CPACK_DEBIAN_BIN_PACKAGE_RECOMMENDS "libsdl2-2.0-0")
set(CPACK_DEBIAN_BIN_DESCRIPTION "PBR texture baker for one synthetic surface
morvane bakes ambient occlusion, tangent-space normal, curvature and
material ID maps of a built-in surface and writes them as binary PPM
images, bit for bit the same on every machine.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME "morvane-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION "libdevel")
# A static C++ library: whoever links it needs a C++ compiler and its standard library.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "g++ | c++-compiler")
set(CPACK_DEBIAN_DEV_DESCRIPTION "PBR texture bake engine (development files)
The morvane::bake C++ library bakes the maps of the morvane command at any
size. It includes the header <morvane/BakeEngine.h> (C++17), a static
library, a CMake package for find_package(Morvane) and a pkg-config file.")

# Documentation that every package carries, in its /usr/share/doc folder.
if(MORVANE_GZIP)
  set(MORVANE_DEB_CHANGELOG "${PROJECT_BINARY_DIR}/changelog.gz")
  morvane_gzip(morvane_deb_changelog "${PROJECT_SOURCE_DIR}/cmake/debian/changelog"
    "${MORVANE_DEB_CHANGELOG}")
  foreach(component IN ITEMS bin dev)
    string(TOUPPER "${component}" upper)
    install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/copyright" "${MORVANE_DEB_CHANGELOG}"
      DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}"
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
  # The documents the man page and the header point to.
  install(FILES "${PROJECT_SOURCE_DIR}/docs/writing.md"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/morvane" COMPONENT bin EXCLUDE_FROM_ALL)
  install(FILES "${PROJECT_SOURCE_DIR}/docs/library.md" "${PROJECT_SOURCE_DIR}/docs/writing.md"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/morvane-dev" COMPONENT dev EXCLUDE_FROM_ALL)
endif()

include(CPack)
