#!/bin/sh
# Builds the libFuzzer targets (clang, with ASan and UBSan) into build-fuzz/
# and runs each for SECONDS (default 30) from a seed corpus made by the real
# archivers. CI runs it with the default; run it longer by hand:
#   scripts/fuzz.sh 3600          # an hour per target
# New inputs collect in build-fuzz/corpus/; crashes are written to
# build-fuzz/findings/ and fail the run.
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
for target in archive_path_fuzzer date_string_fuzzer adapter_fuzzer script_commands_fuzzer; do
    case $target in
        archive_path_fuzzer) seed=$seeds/archive_path ;;
        date_string_fuzzer) seed=$seeds/date ;;
        *) seed=$seeds/adapter ;;
    esac
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    log=build-fuzz/findings/$target.log
    if build-fuzz/fuzz/$target -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
        -artifact_prefix=build-fuzz/findings/$target- "$corpus" "$seed" >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1)
        echo "fuzz: $target: ${runs#Done } in $seconds s, nothing found"
    else
        status=1
        echo "fuzz: $target FOUND A FAULT:"
        tail -40 "$log"
    fi
done
exit $status
