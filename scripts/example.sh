#!/bin/sh
# The main job: builds zip.cvx and the stand-in host, then runs the tour.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build && ./cvxhost ../examples/tour.lua
