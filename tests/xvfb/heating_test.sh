#!/usr/bin/env bash
# Heating in a real X session: the observation gathers from the start with its window closed;
# ↑ held down changes nothing until it is released; five releases of ↑ raise kT by 1.1^10
# (within the roundings to Single) and the pressure with it.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

XVFB_ARGS="-ardelay 30000" start_x
BROWNIAN_TICK_REPORT=1 start_app
win=$(wait_window "ヴァリム（枠あり）")

# The figures printed once a second: "gas_kT=K gas_P=P observed_ticks=T". Waits for $1 more.
report() {
  local log=$TMPDIR_X/app.log seen
  seen=$(grep -c '^gas_kT=' "$log" || true)
  for _ in $(seq 100); do
    [ "$(grep -c '^gas_kT=' "$log" || true)" -ge $((seen + $1)) ] && break
    sleep 0.1
  done
  grep '^gas_kT=' "$log" | tail -n 1 | sed 's/[a-zA-Z_]*=//g'
}
ratio_within() { # ratio_within A B LOW HIGH: LOW <= A/B <= HIGH
  awk -v a="$1" -v b="$2" -v lo="$3" -v hi="$4" 'BEGIN{r=a/b; exit !(r>=lo && r<=hi)}'
}

read -r kT0 p0 ticks < <(report 2)
[ "$ticks" -gt 500 ] || fail "observed $ticks ticks with the window closed"
# Held for two reports, through the window manager's focus. The server's key repeat is put off
# beyond that: under load Qt takes some of the repeated releases for real ones, for every key.
xdotool windowactivate --sync "$win"
xdotool keydown Up
sleep 2.2
read -r kT _ _ < <(report 0)
ratio_within "$kT" "$kT0" 0.99999 1.00001 || fail "kT went from $kT0 to $kT while ↑ was held"
xdotool keyup Up
for _ in 1 2 3 4; do xdotool key Up; done
report 1 >/dev/null # the pressure of a whole second after the last release
read -r kT1 p1 _ < <(report 1)
ratio_within "$kT1" "$kT0" 2.5936 2.5939 || fail "kT from $kT0 to $kT1: not 1.1^10 = 2.59374"
ratio_within "$p1" "$p0" 2.0 3.2 || fail "pressure from $p0 to $p1 as kT rose 2.59-fold"

xdotool key --window "$win" Escape
expect_exit 0
echo "PASS kT $kT0 -> $kT1, P $p0 -> $p1"
