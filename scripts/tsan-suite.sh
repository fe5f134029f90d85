#!/usr/bin/env bash
# Builds the tsan preset (ThreadSanitizer) and runs the tests of the threaded simulation on it:
# the grid passes on any number of threads, and simulations side by side. Extra arguments go
# to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$(nproc)"
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
ctest --preset tsan -j"$(nproc)" "$@"
