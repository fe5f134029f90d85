#!/usr/bin/env bash
# The program in a real X session: caption, size and place of the main window, the keys, a
# screenshot of the animation, and Esc ending it with status 0.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.5

# Outer size 5160 × 5445 twips = 344 × 363 px at 96 dpi; 2500 twips (166.7 px) left of the
# screen's centre, centred vertically.
read -r fx fy fw fh < <(frame_geometry "$win")
[ "$fw" -eq 344 ] || fail "outer width $fw, expected 344"
[ "$fh" -eq 363 ] || fail "outer height $fh, expected 363"
exp_x=$(( (1280 - 344) / 2 - 167 ))
exp_y=$(( (1024 - 363) / 2 ))
[ $((fx - exp_x)) -le 1 ] && [ $((exp_x - fx)) -le 1 ] || fail "outer left $fx, expected $exp_x"
[ $((fy - exp_y)) -le 1 ] && [ $((exp_y - fy)) -le 1 ] || fail "outer top $fy, expected $exp_y"

shot "$win" "$TMPDIR_X/a.png"
greens=$(count_blobs "$TMPDIR_X/a.png" "rgb(0,255,0)")
reds=$(count_blobs "$TMPDIR_X/a.png" "rgb(255,0,0)")
[ "$reds" -eq 1 ] || fail "$reds red discs, expected 1"
[ "$greens" -ge 15 ] || fail "only $greens green blobs"
sleep 0.3
shot "$win" "$TMPDIR_X/b.png"
cmp -s "$TMPDIR_X/a.png" "$TMPDIR_X/b.png" && fail "the picture does not move"

# D: double view, 10200 twips = 680 px wide; D again: back to 344.
xdotool key --window "$win" d
sleep 0.5
read -r fx fy fw fh < <(frame_geometry "$win")
[ "$fw" -eq 680 ] || fail "double view width $fw, expected 680"
xdotool key --window "$win" d
sleep 0.5
read -r fx fy fw fh < <(frame_geometry "$win")
[ "$fw" -eq 344 ] || fail "single view width $fw after D D, expected 344"

# B shows the path: a picture with red lines and no green discs.
xdotool key --window "$win" b
sleep 0.5
shot "$win" "$TMPDIR_X/path.png"
[ "$(count_blobs "$TMPDIR_X/path.png" "rgb(0,255,0)")" -eq 0 ] || fail "B still shows discs"
xdotool key --window "$win" b space
sleep 0.3

xdotool key --window "$win" Escape
expect_exit 0
echo "PASS"
