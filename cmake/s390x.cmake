# 64-bit big-endian s390x: Debian's cross compiler, against a tree of
# Debian's s390x packages (ZIPCVX_SYSROOT, made by scripts/cross-test.sh).
# Programs and tests run under qemu-s390x-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)

set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

if(NOT ZIPCVX_SYSROOT OR NOT IS_DIRECTORY "${ZIPCVX_SYSROOT}/usr/lib/s390x-linux-gnu")
    message(FATAL_ERROR "ZIPCVX_SYSROOT must name a tree of s390x packages; "
                        "scripts/cross-test.sh s390x makes one")
endif()
set(CMAKE_SYSROOT "${ZIPCVX_SYSROOT}")
set(ZIPCVX_EMULATOR qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/sysroot_tree.cmake)
set(ENV{PKG_CONFIG_LIBDIR}
    "${ZIPCVX_SYSROOT}/usr/lib/s390x-linux-gnu/pkgconfig:${ZIPCVX_SYSROOT}/usr/share/pkgconfig")
