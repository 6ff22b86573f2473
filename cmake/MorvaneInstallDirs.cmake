# Install folders. Debian and its derivatives keep libraries in a folder per architecture
# (lib/x86_64-linux-gnu) under any prefix, and search it there; GNUInstallDirs picks that folder
# only for the prefix /usr, so it is the default here whenever the toolchain names one.

# Only at top level: a host project's install folders are its own.
if(PROJECT_IS_TOP_LEVEL AND CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND
   NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
    "Object code libraries (lib)")
endif()
include(GNUInstallDirs)
