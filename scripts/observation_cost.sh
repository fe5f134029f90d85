#!/usr/bin/env bash
# Measures what the observation window costs the animation, in a real X session (Xvfb +
# openbox): at 10 particles per side, size 500 and the fastest speed (set through the settings
# dialog), the ticks per second and the process's CPU share with the window closed and open,
# alternating, and the share of one core the observation's own work takes while it is open.
# Usage: scripts/observation_cost.sh path/to/brownian [seconds per phase] [rounds]
BROWNIAN=$1
PHASE=${2:-8}
ROUNDS=${3:-2}
SCREEN=${SCREEN:-1920x1080}
. "$(dirname "$0")/../tests/xvfb/lib.sh"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }

# Ticks per second reported during the next $PHASE seconds (median), and the CPU share.
phase() {
  local log=$TMPDIR_X/app.log start end c0 c1
  start=$(wc -l <"$log")
  c0=$(cpu_ticks)
  sleep "$PHASE"
  c1=$(cpu_ticks)
  end=$(wc -l <"$log")
  local rate cost
  rate=$(sed -n "$((start + 1)),${end}p" "$log" | sed -n 's/^ticks_per_s=//p' | sort -n |
    awk '{a[NR]=$1} END{print (NR ? a[int((NR+1)/2)] : "none")}')
  cost=$(sed -n "$((start + 1)),${end}p" "$log" | sed -n 's/^observation_cpu_share=//p' |
    sort -n | awk '{a[NR]=$1} END{print (NR ? a[int((NR+1)/2)] : "-")}')
  local share
  share=$(awk -v d=$((c1 - c0)) -v hz="$(getconf CLK_TCK)" -v s="$PHASE" 'BEGIN{printf "%.3f", d/hz/s}')
  echo "$1 ticks_per_s=$rate process_cpu=$share observation_cpu=$cost"
}

start_x
BROWNIAN_TICK_REPORT=1 BROWNIAN_OBSERVATION_COST=1 start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.5

# The settings dialog from the menu (its button spans client y 60..80 px).
read -r cx cy _ _ < <(client_geometry "$win")
xdotool mousemove $((cx + 120)) $((cy + 140)) click 3
menu=$(wait_window "メニュー")
sleep 0.3
read -r mx my _ _ < <(client_geometry "$menu")
xdotool mousemove $((mx + 80)) $((my + 70)) click 1
dlg=$(wait_window "粒子の設定")
sleep 0.5
read -r dx dy _ _ < <(client_geometry "$dlg")
xdotool mousemove $((dx + 120)) $((dy + 15)) click 1 # count field
xdotool key ctrl+a
xdotool type 10
xdotool key Tab
xdotool mousemove $((dx + 120)) $((dy + 40)) click 1 # size field
xdotool key ctrl+a
xdotool type 500
xdotool key Tab
xdotool mousemove $((dx + 330)) $((dy + 88)) click 1 # the fastest speed
sleep 0.2
xdotool mousemove $((dx + 253)) $((dy + 350)) click 1 # O.K.
wait_no_window "粒子の設定"
sleep 2

for _ in $(seq "$ROUNDS"); do
  phase closed
  xdotool key --window "$win" g
  obs=$(wait_window "観測")
  sleep 1
  phase open
  # SHOT=file.png keeps a picture of the window, to check the settings took.
  [ -z "${SHOT:-}" ] || import -window "$obs" "$SHOT"
  xdotool key --window "$win" g
  wait_no_window "観測"
  sleep 1
done
xdotool key --window "$win" Escape
expect_exit 0
