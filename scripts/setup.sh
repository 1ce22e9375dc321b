#!/bin/sh
# Installs what the build and the tests need on Debian 12 (as root, or with
# sudo), then configures and builds into build/. Safe to run again.
# Warnings are errors only where ZIPCVX_WERROR=ON says so (CI, whose compiler
# is pinned); a user's newer compiler may warn where this one did not.
set -eu
cd "$(dirname "$0")/.."

scripts/install-packages.sh build-essential cmake ninja-build pkg-config \
    libzip-dev libssl-dev liblua5.4-dev zlib1g-dev libgtest-dev libbenchmark-dev \
    unzip zip 7zip libarchive-tools python3

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
