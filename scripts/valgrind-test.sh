#!/bin/sh
# Every script test and example run by the stand-in host under valgrind's
# memcheck: any invalid read or write, use of uninitialised memory, or
# definite leak fails the run. Uses the build in build/.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/setup.sh
scripts/install-packages.sh valgrind
mkdir -p build/tmp
passed=0
failed=0
run() {
    dir=$1
    script=$2
    started=$(date +%s)
    if (cd "$dir" && TZ=Europe/Berlin ZIPCVX_TMP="$top/build/tmp" \
        valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
            --track-origins=yes "$top/build/cvxhost" --check-leaks "$script" >"$top/build/tmp/valgrind.log" 2>&1); then
        passed=$((passed + 1))
        echo "valgrind: $(basename "$script") clean ($(($(date +%s) - started)) s)"
    else
        failed=$((failed + 1))
        echo "valgrind: $(basename "$script") FAILED"
        cat "$top/build/tmp/valgrind.log"
    fi
}
for script in tests/scripts/*_test.lua; do
    run tests/scripts "$top/$script"
done
for script in examples/*.lua; do
    run build "$top/$script"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
