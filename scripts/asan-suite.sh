#!/usr/bin/env bash
# Builds the asan preset (AddressSanitizer + UndefinedBehaviorSanitizer, every fault fatal) and
# runs the whole suite on it, the real-window tests included. The fuzz targets are left out:
# they carry the same sanitizers already and ./test runs them. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0}
# The windowed program under X loads D-Bus and fontconfig through Qt, which keep blocks till
# exit; tests/asan/lsan.supp names only those libraries.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/asan/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset asan -j"$(nproc)" -LE fuzz "$@"
