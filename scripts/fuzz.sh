#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build/fuzz and runs each for a while from its seed corpus in tests/fuzz/<name>/.
#   scripts/fuzz.sh                      # every target, 30 s each
#   scripts/fuzz.sh --seconds 600 state_file
# New inputs go to build/fuzz/corpus/<name>, a failing input to build/fuzz/artifacts/; replay
# one with build/fuzz/<name>_fuzz FILE.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/fuzz
seconds=30
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    -h | --help) sed -n 2,7p "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(numeric_text state_file)

# The sources each target needs besides its own file.
sources_of() {
  case $1 in
    numeric_text) echo src/model/numeric_text.cpp ;;
    state_file) echo src/lab/csv.cpp src/model/fault.cpp ;;
    *) echo "unknown fuzz target: $1" >&2; exit 2 ;;
  esac
}

mkdir -p "$out/artifacts"
cd "$root"
for t in "${targets[@]}"; do
  read -r -a srcs <<<"$(sources_of "$t")"
  exe=$out/${t}_fuzz
  stale=0
  [ -x "$exe" ] || stale=1
  for f in "tests/fuzz/${t}_fuzz.cpp" "${srcs[@]}" src/model/*.h src/lab/csv.h; do
    [ "$f" -nt "$exe" ] && stale=1
  done
  if [ "$stale" = 1 ]; then
    echo "building $exe"
    clang++ -std=c++20 -O1 -g -ffp-contract=off -fno-omit-frame-pointer \
      -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc \
      "tests/fuzz/${t}_fuzz.cpp" "${srcs[@]}" -o "$exe"
  fi
done
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t"
  echo "fuzzing $t for $seconds s"
  log=$out/$t.log
  if ! "$out/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -artifact_prefix="$out/artifacts/${t}-" \
    "$out/corpus/$t" "tests/fuzz/$t" >"$log" 2>&1; then
    grep -v '^#[0-9]' "$log" | tail -n 40 >&2
    echo "FAIL: $t; the failing input is in $out/artifacts/ (log: $log)" >&2
    exit 1
  fi
  grep -E '^(INFO: Seed|Done)' "$log"
done
