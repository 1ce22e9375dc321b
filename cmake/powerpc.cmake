# 32-bit big-endian PowerPC, the host's own processor: Debian's cross compiler
# with its C and C++ runtimes, against a tree (ZIPCVX_SYSROOT, made by
# scripts/cross-test.sh powerpc) of libraries built from Debian's sources
# into its usr/, with a copy of the runtimes in its lib/. Programs and tests
# run under qemu-ppc-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

if(NOT ZIPCVX_SYSROOT OR NOT EXISTS "${ZIPCVX_SYSROOT}/lib/ld.so.1")
    message(FATAL_ERROR "ZIPCVX_SYSROOT must name a tree with the powerpc runtimes; "
                        "scripts/cross-test.sh powerpc makes one")
endif()
# The compiler keeps its own runtimes (no CMAKE_SYSROOT); only the
# libraries come from the tree.
set(ZIPCVX_EMULATOR qemu-ppc-static)
include(${CMAKE_CURRENT_LIST_DIR}/sysroot_tree.cmake)

# The libraries are static archives: linking one needs what it uses in turn.
set(PKG_CONFIG_ARGN --static)
set(ENV{PKG_CONFIG_LIBDIR} "${ZIPCVX_SYSROOT}/usr/lib/pkgconfig")
