# 32-bit x86: the native compiler with -m32, against Debian's multiarch
# :i386 packages. The programs run natively, so no emulator is needed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# -m32 belongs to the compiler command itself, so that flags given on the
# command line (CMAKE_CXX_FLAGS) cannot drop it.
set(CMAKE_C_COMPILER gcc -m32)
set(CMAKE_CXX_COMPILER g++ -m32)

# pkg-config must see the :i386 .pc files only, never the native ones.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
