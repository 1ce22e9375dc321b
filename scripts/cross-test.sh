#!/bin/sh
# Builds zip.cvx, the stand-in host and the whole test suite for the other
# machine shapes the plugin must hold up on, and runs every test ctest finds:
#
#   scripts/cross-test.sh i386    32-bit x86 (-m32, Debian's :i386 packages):
#                                 4-byte pointers, so the host's record
#                                 layouts are checked at compile time
#   scripts/cross-test.sh s390x   64-bit big-endian (Debian's cross compiler,
#                                 a tree of Debian's s390x packages), run
#                                 under qemu-s390x-static
#   scripts/cross-test.sh powerpc 32-bit big-endian PowerPC, the host's own
#                                 processor (Debian's cross compiler, the
#                                 libraries built here from Debian's
#                                 sources), run under qemu-ppc-static
#   scripts/cross-test.sh all     all three
#
# Builds into build-i386/, build-s390x/ and build-powerpc/. Installs what is
# missing with apt-get (as root, or with sudo) on Debian 12. Safe to run again.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

say() { printf 'cross-test: %s\n' "$*"; }

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

need() { scripts/install-packages.sh "$@"; }
installable() { scripts/install-packages.sh --installable "$1"; }

# What every build and the tests themselves use: the tests make and check
# fixtures with these native tools.
need_tools() {
    need build-essential cmake ninja-build pkg-config googletest \
        unzip zip 7zip libarchive-tools python3
}

# configure_build ARCH [cmake options...]
configure_build() {
    arch=$1
    shift
    started=$(date +%s)
    cmake -S . -B "build-$arch" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$arch.cmake" "$@" >/dev/null
    cmake --build "build-$arch" -j"$jobs"
    say "$arch: configured and built in $(($(date +%s) - started)) s"
}

run_suite() {
    started=$(date +%s)
    ctest --test-dir "build-$1" --output-on-failure -j"$jobs"
    say "$1: the suite ran in $(($(date +%s) - started)) s"
}

configure_build_test() {
    configure_build "$@"
    run_suite "$1"
}

# ------------------------------------------------------------------ i386
# gcc-multilib is not used: it conflicts with Debian's cross compilers. The
# 32-bit C++ runtime and the :i386 C library give -m32 all it needs.
run_i386() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say "enabling the i386 architecture"
        $sudo_cmd dpkg --add-architecture i386
    fi
    gcc_major=$(gcc -dumpversion | cut -d. -f1)
    need_tools
    need "lib32stdc++-$gcc_major-dev" libc6-dev:i386 zlib1g-dev:i386 \
        libzip-dev:i386 libssl-dev:i386 liblua5.4-dev:i386
    gtest=""
    if installable libgtest-dev:i386; then
        need libgtest-dev:i386
    else
        say "no libgtest-dev:i386: building GoogleTest from /usr/src/googletest"
        gtest="-DZIPCVX_GTEST_SOURCE_DIR=/usr/src/googletest"
    fi
    # A kernel without 32-bit support runs the programs under the emulator.
    emulator=""
    probe="${TMPDIR:-/tmp}/zipcvx-i386-probe"
    echo 'int main(void) { return 0; }' | gcc -m32 -x c -o "$probe" -
    if ! "$probe" 2>/dev/null; then
        say "this kernel runs no 32-bit programs: using qemu-i386-static"
        need qemu-user-static
        emulator="-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386-static"
    fi
    rm -f "$probe"
    # shellcheck disable=SC2086
    configure_build_test i386 $gtest $emulator
}

# ----------------------------------------------------------------- s390x
# The s390x libraries go into a tree of their own rather than in as :s390x
# multiarch packages: Debian publishes no security updates for s390x, so
# its packages lag the native ones, and a Multi-Arch: same pair must have
# one version. Installing them would hold the machine's own libraries back.
s390x_packages="libc6-dev,libstdc++6,zlib1g-dev,libzip-dev,libssl-dev,liblua5.4-dev,libgtest-dev"

make_s390x_tree() {
    tree=$1
    stamp="$tree/.zipcvx-packages"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$s390x_packages" ]; then
        return 0
    fi
    sources=/etc/apt/sources.list.d/debian.sources
    [ -f "$sources" ] || sources=/etc/apt/sources.list
    # shellcheck disable=SC1091
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    say "making the s390x tree $tree ($suite)"
    $sudo_cmd rm -rf "$tree"
    mkdir -p "$(dirname "$tree")"
    $sudo_cmd mmdebstrap --quiet --arch=s390x --variant=extract \
        --include="$s390x_packages" "$suite" "$tree" "$sources"
    echo "$s390x_packages" | $sudo_cmd tee "$stamp" >/dev/null
}

# The cross compilers and gcc-multilib cannot be installed together.
drop_multilib() {
    for p in g++-multilib gcc-multilib; do
        if is_installed "$p"; then
            say "removing $p, which conflicts with the $1 cross compiler"
            DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get remove -y -qq \
                -o DPkg::Lock::Timeout=600 "$p" >/dev/null
        fi
    done
}

run_s390x() {
    drop_multilib s390x
    need_tools
    need g++-s390x-linux-gnu qemu-user-static mmdebstrap
    tree="$top/build-s390x/sysroot"
    make_s390x_tree "$tree"
    # The build runs s390x programs through the emulator with -L; where the
    # kernel runs them directly (binfmt_misc), they find the tree this way.
    QEMU_LD_PREFIX=$tree
    export QEMU_LD_PREFIX
    configure_build_test s390x -DZIPCVX_SYSROOT="$tree"
}

# --------------------------------------------------------------- powerpc
# Debian 12 has no powerpc packages of the libraries. They are built here
# from Debian's own source packages, with the versions and patches of the
# native libraries, into one tree: the cross C and C++ runtimes in lib/
# (where qemu-ppc-static -L looks for them), the libraries in usr/. The
# libraries are static and position-independent, so zip.cvx carries libzip
# and libcrypto inside itself and needs nothing but the C runtime.
#
# Each source package with the native package whose version it must have.
powerpc_sources="zlib:zlib1g-dev bzip2:libbz2-dev openssl:libssl-dev libzip:libzip-dev lua5.4:liblua5.4-dev"
# The runtimes copied in, and GoogleTest's sources (/usr/src/googletest).
powerpc_packages="libc6-powerpc-cross libstdc++6-powerpc-cross libgcc-s1-powerpc-cross googletest"
# Raised whenever the tree is built differently, so that old trees go.
powerpc_recipe=1
cross=powerpc-linux-gnu

# The source version of a native package (not of its :i386 twin, if any).
native_version() {
    dpkg-query -W -f='${source:Version}' "$1:$(dpkg --print-architecture)"
}

# What a tree is made from; a tree whose stamp says otherwise is rebuilt.
powerpc_inputs() {
    echo "recipe $powerpc_recipe"
    for pair in $powerpc_sources; do
        echo "${pair%%:*} $(native_version "${pair#*:}")"
    done
    for p in $powerpc_packages; do
        echo "$p $(dpkg-query -W -f='${Version}' "$p")"
    done
}

# apt-get over a state folder of its own that knows Debian's source indexes
# only, made from the machine's own entries. The machine's package lists are
# never read or written, so no update here can drop them.
apt_sources() {
    tool=$1
    shift
    "$tool" -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$aptdir/parts" \
        -o Dir::State::Lists="$aptdir/lists" -o Dir::Cache="$aptdir/cache" \
        -o APT::Sandbox::User="$(id -un)" "$@"
}

setup_apt_sources() {
    aptdir=$1
    mkdir -p "$aptdir/parts" "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            >"$aptdir/parts/debian.sources"
    else
        sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$aptdir/parts/debian.list"
    fi
    apt_sources apt-get update -qq
}

# fetch_source NAME VERSION: downloads and unpacks, Debian's patches applied,
# the source package at the native version, or, where the archive serves
# that one no more (a security update replaced it), at the newest it serves.
fetch_source() {
    served=$(apt_sources apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -rVu)
    for version in "$2" $served; do
        if apt_sources apt-get source -qq "$1=$version" >/dev/null 2>&1; then
            [ "$version" = "$2" ] || say "powerpc: $1 $2 is no longer served; building $version"
            echo "$1 $version" >>"$tree/versions"
            return 0
        fi
        rm -rf "$1"_* "$1"-*/
    done
    say "powerpc: no source of $1 could be fetched"
    return 1
}

# build_cmake SOURCE BUILD [options...]: a CMake project, built for powerpc
# with the project's own toolchain file and installed into the tree.
build_cmake() {
    src=$1 bld=$2
    shift 2
    cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/powerpc.cmake" \
        -DZIPCVX_SYSROOT="$tree" -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS=-O2 \
        -DCMAKE_CXX_FLAGS=-O2 -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@" >/dev/null
    cmake --build "$bld" -j"$jobs" >/dev/null
    DESTDIR="$tree" cmake --install "$bld" >/dev/null
}

make_powerpc_tree() {
    tree=$1
    stamp="$tree/.zipcvx-inputs"
    inputs=$(powerpc_inputs)
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$inputs" ]; then
        say "powerpc: reusing the tree $tree: $(paste -sd, "$tree/versions" | sed 's/,/, /g')"
        return 0
    fi
    started=$(date +%s)
    say "powerpc: building the tree $tree from Debian's sources"
    work="$tree-work"
    rm -rf "$tree" "$work"
    mkdir -p "$tree/lib" "$tree/usr/include/openssl" "$tree/usr/include/lua5.4" \
        "$tree/usr/lib/pkgconfig" "$work/sources"
    cp -a "/usr/$cross/lib/." "$tree/lib/"
    setup_apt_sources "$work/apt"
    cd "$work/sources"
    for pair in $powerpc_sources; do
        fetch_source "${pair%%:*}" "$(native_version "${pair#*:}")"
    done
    echo "googletest $(dpkg-query -W -f='${Version}' googletest)" >>"$tree/versions"
    cflags="-O2 -fPIC"

    say "powerpc: zlib, bzip2"
    (cd zlib-*/ && CHOST=$cross CFLAGS=$cflags ./configure --static --prefix=/usr >/dev/null &&
        make -j"$jobs" libz.a >/dev/null && make install DESTDIR="$tree" >/dev/null)
    (cd bzip2-*/ && make -j"$jobs" libbz2.a CC=$cross-gcc AR=$cross-ar RANLIB=$cross-ranlib \
        CFLAGS="$cflags -D_FILE_OFFSET_BITS=64" >/dev/null &&
        cp bzlib.h "$tree/usr/include/" && cp libbz2.a "$tree/usr/lib/")

    # libcrypto alone, configured as Debian configures it, less what a
    # library needs not: no shared objects, no tests, no programs built.
    say "powerpc: libcrypto"
    (cd openssl-*/ && ./Configure debian-powerpc --cross-compile-prefix=$cross- \
        --prefix=/usr --openssldir=/usr/lib/ssl --libdir=lib -fPIC \
        no-shared no-tests no-idea no-mdc2 no-rc5 no-zlib no-ssl3 no-ssl3-method \
        enable-rfc3779 enable-cms no-capieng no-rdrand >/dev/null &&
        make -j"$jobs" build_generated >/dev/null &&
        make -j"$jobs" libcrypto.a libcrypto.pc >/dev/null &&
        cp include/openssl/*.h "$tree/usr/include/openssl/" &&
        cp libcrypto.a "$tree/usr/lib/" && cp libcrypto.pc "$tree/usr/lib/pkgconfig/")

    # As Debian builds it: AES through OpenSSL, bzip2, no other method.
    say "powerpc: libzip"
    build_cmake libzip-*/ build-libzip -DENABLE_OPENSSL=ON -DENABLE_BZIP2=ON \
        -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
        -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_LZMA=OFF -DBUILD_TOOLS=OFF \
        -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    # It uses libcrypto alone, but its .pc file names libssl with it always.
    sed -i 's/ -lssl / /' "$tree/usr/lib/pkgconfig/libzip.pc"

    # The library alone, with the flags and the multiarch header of Debian's
    # build; the host needs no interpreter program.
    say "powerpc: Lua, GoogleTest"
    lua=$(echo lua5.4-*)
    (cd "$lua/src" && printf '#ifndef _LUA_DEB_MULTIARCH_\n#define _LUA_DEB_MULTIARCH_\n#define DEB_HOST_MULTIARCH "%s"\n#endif\n' \
        "$cross" >lua5.4-deb-multiarch.h &&
        sed -n 's/^\(CORE\|LIB\)_O=//p' Makefile | tr -s ' \t' '\n' | sed -n 's/\.o$/.c/p' |
        xargs -P"$jobs" -n4 $cross-gcc -std=gnu99 -O2 -fPIC -Wall -DLUA_COMPAT_5_3 -DLUA_USE_LINUX -c &&
        $cross-ar rcs liblua5.4.a ./*.o && cp liblua5.4.a "$tree/usr/lib/" &&
        cp lua.h luaconf.h lualib.h lauxlib.h lua.hpp lua5.4-deb-multiarch.h "$tree/usr/include/lua5.4/")
    printf '%s\n' "prefix=/usr" "libdir=\${prefix}/lib" "includedir=\${prefix}/include" "" \
        "Name: Lua" "Description: Lua language engine" "Version: ${lua#lua5.4-}" \
        "Libs: -L\${libdir} -llua5.4" "Libs.private: -lm -ldl" \
        "Cflags: -I\${includedir}/lua5.4" >"$tree/usr/lib/pkgconfig/lua5.4.pc"
    build_cmake /usr/src/googletest build-googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON

    cd "$top"
    rm -rf "$work"
    echo "$inputs" >"$stamp"
    say "powerpc: tree built in $(($(date +%s) - started)) s: $(paste -sd, "$tree/versions" | sed 's/,/, /g')"
}

run_powerpc() {
    drop_multilib powerpc
    need_tools
    need g++-$cross qemu-user-static dpkg-dev file
    tree="$top/build-powerpc/sysroot"
    make_powerpc_tree "$tree"
    QEMU_LD_PREFIX=$tree
    export QEMU_LD_PREFIX
    configure_build powerpc -DZIPCVX_SYSROOT="$tree"
    # The module is what the host loads: it must be built for its processor.
    shape=$(file -b build-powerpc/zip.cvx)
    case $shape in
        "ELF 32-bit MSB shared object, PowerPC"*) say "powerpc: zip.cvx: $shape" ;;
        *)
            say "powerpc: zip.cvx is not a 32-bit big-endian PowerPC module: $shape"
            exit 1
            ;;
    esac
    run_suite powerpc
}

case "${1:-}" in
    i386) run_i386 ;;
    s390x) run_s390x ;;
    powerpc) run_powerpc ;;
    all)
        # Each shape in its own run, so that a failure in one still lets
        # the others be tried; the exit status says whether all passed.
        status=0
        "$0" i386 || status=1
        "$0" s390x || status=1
        "$0" powerpc || status=1
        exit $status
        ;;
    *)
        echo "usage: $0 i386|s390x|powerpc|all" >&2
        exit 2
        ;;
esac
