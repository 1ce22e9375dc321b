#!/bin/sh
# The whole test suite built with AddressSanitizer and UndefinedBehavior-
# Sanitizer (leak checking included), in build-asan/.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
started=$(date +%s)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIPCVX_SANITIZE=ON -DZIPCVX_WERROR="${ZIPCVX_WERROR:-OFF}" >/dev/null
cmake --build build-asan -j"$(nproc)"
echo "sanitize-test: built in $(($(date +%s) - started)) s; running the suite"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
