#!/bin/sh
# Installs what the build and the tests need on Debian 12 (as root, or with
# sudo), then configures and builds into build/. Safe to run again.
set -eu
cd "$(dirname "$0")/.."

packages="build-essential cmake ninja-build pkg-config libzip-dev liblua5.4-dev zlib1g-dev
          libgtest-dev libbenchmark-dev unzip zip 7zip libarchive-tools python3"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq || true
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq $missing
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
