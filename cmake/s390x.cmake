# 64-bit big-endian s390x: Debian's cross compiler, against a tree of
# Debian's s390x packages (ZIPCVX_SYSROOT, made by scripts/cross-test.sh).
# Programs and tests run under qemu-s390x-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)

set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

# try_compile projects read this file again: hand the tree on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIPCVX_SYSROOT)
if(NOT ZIPCVX_SYSROOT OR NOT IS_DIRECTORY "${ZIPCVX_SYSROOT}/usr/lib/s390x-linux-gnu")
    message(FATAL_ERROR "ZIPCVX_SYSROOT must name a tree of s390x packages; "
                        "scripts/cross-test.sh s390x makes one")
endif()
set(CMAKE_SYSROOT "${ZIPCVX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH "${ZIPCVX_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x-static -L "${ZIPCVX_SYSROOT}")

set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ZIPCVX_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${ZIPCVX_SYSROOT}/usr/lib/s390x-linux-gnu/pkgconfig:${ZIPCVX_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
