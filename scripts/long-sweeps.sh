#!/bin/sh
# The fault sweeps with every allocation of the crypto library included
# (thousands of points for each AES key that is derived): too long for the
# regular suite, run by hand. Uses the build in build/.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
ZIPCVX_LONG_SWEEPS=1 TZ=Europe/Berlin build/tests/zipcvx_tests --gtest_filter='*Sweeps*' |
    grep -E 'SWEEP|FAILED|PASSED|Failure'
