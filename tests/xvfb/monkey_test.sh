#!/usr/bin/env bash
# A seeded random stream of keys, clicks, menu commands and settings-dialog inputs: the program
# stays alive, its memory does not grow, it shows only its own windows, and it still ends on Esc
# with status 0. The RSS at a third of the run (at most 60 s in) is compared with the end.
#   monkey_test.sh PROGRAM [--seconds N | --minutes N] [--seed S]
BROWNIAN=$1
shift
seconds=60
seed=$(( $(date +%s%N) % 1000000000 ))
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --minutes) seconds=$(($2 * 60)); shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
. "$(dirname "$0")/lib.sh"
echo "monkey seed $seed, $seconds s"
on_exit() {
  local status=$?
  if [ "$status" -ne 0 ]; then
    echo "monkey seed $seed failed (replay: $0 PROGRAM --seed $seed --seconds $seconds)" >&2
    [ -f "$TMPDIR_X/app.log" ] && tail -n 40 "$TMPDIR_X/app.log" >&2
  fi
  stop_all
}
trap on_exit EXIT

start_x
start_app
wait_window "ヴァリム（枠あり）" >/dev/null
sleep 0.5
out=$(python3 "$(dirname "$0")/monkey.py" "$APP_PID" "$seconds" "$seed") || {
  echo "$out"
  fail "monkey run"
}
echo "$out"
win=$(tail -n 1 <<<"$out")
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key --window "$win" Escape
expect_exit 0
echo "PASS"
