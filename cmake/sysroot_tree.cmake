# What the toolchains over a tree of target libraries share (included by
# s390x.cmake and powerpc.cmake once ZIPCVX_SYSROOT is checked): libraries,
# headers and packages come from the tree alone, programs never, and every
# target program runs under ZIPCVX_EMULATOR with the tree as its root.

# try_compile projects read the toolchain file again: hand the tree on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIPCVX_SYSROOT)
set(CMAKE_FIND_ROOT_PATH "${ZIPCVX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZIPCVX_EMULATOR} -L "${ZIPCVX_SYSROOT}")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ZIPCVX_SYSROOT}")
set(ENV{PKG_CONFIG_PATH} "")
