#!/bin/sh
# Builds the libFuzzer targets (clang, ASan and UBSan) into build-fuzz/ and
# runs each for SECONDS (default 30; CI's budget) from seeds made by the real
# archivers. New inputs collect in build-fuzz/corpus/; a crash is written to
# build-fuzz/findings/ and fails the run.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/setup.sh
scripts/install-packages.sh clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZIPCVX_FUZZ=ON -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" -DZIPCVX_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
seeds=build-fuzz/seeds
[ -d "$seeds/adapter" ] || fuzz/make_corpus.sh "$seeds" >/dev/null
mkdir -p build-fuzz/findings
status=0
for run in paths_and_dates:text adapter:adapter script_commands:adapter; do
    target=${run%:*}_fuzzer log=build-fuzz/findings/${run%:*}_fuzzer.log
    mkdir -p "build-fuzz/corpus/$target"
    if build-fuzz/fuzz/$target -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
        -artifact_prefix="build-fuzz/findings/$target-" "build-fuzz/corpus/$target" "$seeds/${run#*:}" >"$log" 2>&1; then
        echo "fuzz: $target: $(grep -o 'Done [0-9]* runs' "$log" | tail -1 | cut -d' ' -f2) runs in $seconds s, nothing found"
    else
        status=1
        echo "fuzz: $target FOUND A FAULT:" && tail -40 "$log"
    fi
done
exit $status
