# Debian packages through CPack (cpack -G DEB): "morvane" holds the command and its man page;
# "morvane-dev" holds the engine library, its header and the CMake package. The window library
# is only recommended: the bake commands never load it. Each package states its own summary
# (the first line of its description), so no project-wide summary is set.

set(CPACK_PACKAGE_NAME "morvane")
set(CPACK_PACKAGE_VENDOR "Morvane Lab")
set(CPACK_PACKAGE_CONTACT "Morvane Lab <maintainers@morvane-lab.invalid>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_COMPONENTS_ALL bin dev)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_BIN_PACKAGE_NAME "morvane")
set(CPACK_DEBIAN_BIN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
set(CPACK_DEBIAN_BIN_PACKAGE_RECOMMENDS "libsdl2-2.0-0")
set(CPACK_DEBIAN_BIN_DESCRIPTION "PBR texture baker for one synthetic surface
morvane bakes ambient occlusion, tangent-space normal, curvature and material ID maps
of a built-in surface and writes them as binary PPM images, bit for bit the same on
every machine.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME "morvane-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEV_DESCRIPTION "PBR texture bake engine (development files)
The morvane::bake C++20 library bakes the maps of the morvane command at any size.
Includes the header BakeEngine.h and a CMake package for find_package(Morvane).")

include(CPack)
