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
#   scripts/cross-test.sh all     both
#
# Builds into build-i386/ and build-s390x/. Installs what is missing with
# apt-get (as root, or with sudo) on Debian 12. Safe to run again.
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

# configure_build_test ARCH [cmake options...]
configure_build_test() {
    arch=$1
    shift
    build=build-$arch
    started=$(date +%s)
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$arch.cmake" "$@" >/dev/null
    cmake --build "$build" -j"$jobs"
    say "$arch: configured and built in $(($(date +%s) - started)) s; running the suite"
    ctest --test-dir "$build" --output-on-failure -j"$jobs"
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

run_s390x() {
    # The cross compilers and gcc-multilib cannot be installed together.
    for p in g++-multilib gcc-multilib; do
        if is_installed "$p"; then
            say "removing $p, which conflicts with the s390x cross compiler"
            DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get remove -y -qq \
                -o DPkg::Lock::Timeout=600 "$p" >/dev/null
        fi
    done
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

case "${1:-}" in
    i386) run_i386 ;;
    s390x) run_s390x ;;
    all)
        # Each shape in its own run, so that a failure in one still lets
        # the other be tried; the exit status says whether both passed.
        status=0
        "$0" i386 || status=1
        "$0" s390x || status=1
        exit $status
        ;;
    *)
        echo "usage: $0 i386|s390x|all" >&2
        exit 2
        ;;
esac
