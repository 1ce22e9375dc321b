#!/bin/sh
# Builds the benchmark, makes its archives (deterministically, from a fixed
# seed) in a scratch folder, runs every case and prints one table of times,
# throughputs, ratios measured side by side and peak memory, followed by the
# targets. See docs/performance.md for what each row measures.
#
#   scripts/bench.sh                      the full size: a 256 MiB entry,
#                                         105,000 entries in 10,000 directories,
#                                         5 repetitions
#   scripts/bench.sh --size-mib 8 --directories 500 --repetitions 1
#                                         a small run (what CI does)
#
# Other options: --only ID,... (row id prefixes, see `zipcvx_bench list`),
# --clock cpu (time by CPU time, steadier on a busy machine; default wall),
# --scratch DIR (default /tmp/zipcvx-bench-SIZE), --build DIR (default
# build-bench). Installs what it compares with (PhysicsFS, unzip) with
# apt-get when it is missing. Exits non-zero only when a case fails to run: a missed target is
# reported in the table, not as a failure.
set -eu
cd "$(dirname "$0")/.."

size=256
directories=10000
repetitions=5
only=""
clock=wall
scratch=""
build=build-bench
while [ $# -gt 0 ]; do
    case "$1" in
        --size-mib) size=$2 ;;
        --directories) directories=$2 ;;
        --repetitions) repetitions=$2 ;;
        --only) only=$2 ;;
        --clock) clock=$2 ;;
        --scratch) scratch=$2 ;;
        --build) build=$2 ;;
        *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "$scratch" ] || scratch=/tmp/zipcvx-bench-$size

scripts/install-packages.sh build-essential cmake ninja-build pkg-config libzip-dev libssl-dev \
    liblua5.4-dev zlib1g-dev libphysfs-dev unzip

# The plugin as the main build makes it (RelWithDebInfo), with the benchmark
# and without the tests, in a folder of its own: build/ stays as
# scripts/setup.sh configures it.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIPCVX_BENCH=ON \
    -DZIPCVX_BUILD_TESTS=OFF -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zipcvx_bench >&2

"$build/zipcvx_bench" generate --dir "$scratch" --size-mib "$size" \
    --directories "$directories" >&2
set -- run --dir "$scratch" --plugin "$build/zip.cvx" --repetitions "$repetitions" --clock "$clock"
[ -z "$only" ] || set -- "$@" --only "$only"
exec "$build/zipcvx_bench" "$@"
