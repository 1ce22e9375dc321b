#!/bin/sh
# Installs what the build and the tests need on Debian 12 (as root, or with
# sudo), then configures and builds into build/. Safe to run again.
# Warnings are errors only where ZIPCVX_WERROR=ON says so (CI, whose compiler
# is pinned); a user's newer compiler may warn where this one did not.
# The other scripts call this first; .ci/run calls it once and then sets
# ZIPCVX_SETUP_DONE=1, so that their calls return at once. The benchmark
# builds in a folder of its own (scripts/bench.sh), never in build/.
set -eu
cd "$(dirname "$0")/.."
[ "${ZIPCVX_SETUP_DONE:-}" != 1 ] || exit 0

scripts/install-packages.sh build-essential cmake ninja-build pkg-config \
    libzip-dev libssl-dev liblua5.4-dev zlib1g-dev libgtest-dev \
    unzip zip 7zip libarchive-tools python3

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIPCVX_BENCH=OFF \
    -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
