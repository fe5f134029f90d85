#!/usr/bin/env bash
# At twice the scale the windows keep their size in twips (twice the pixels), the frame shows
# every disc, and on a screen too narrow for the usual start place the window stays on it.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

export QT_SCALE_FACTOR=2
start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.8

read -r cx cy cw ch < <(client_geometry "$win")
read -r fx fy fw fh < <(frame_geometry "$win")
# Outer 5160 × 5445 twips = 344 × 363 logical px = 688 × 726 device px.
[ "$fw" -ge 686 ] && [ "$fw" -le 690 ] || fail "outer width $fw, expected 688"
[ "$fh" -ge 724 ] && [ "$fh" -le 728 ] || fail "outer height $fh, expected 726"
# 1280 px at scale 2 is 9600 twips: the usual place would be left of the screen's edge.
[ "$fx" -ge 0 ] || fail "window starts off the screen at x $fx"

# Pause through the menu, then count the discs by area: 25 discs of radius 200 twips
# (26.7 device px) minus what overlaps; the red one is whole on top.
xdotool mousemove --window "$win" 100 100 click 3
menu=$(wait_window "メニュー")
sleep 0.3
xdotool mousemove --window "$menu" 160 100 click 1
sleep 0.5
shot "$win" "$TMPDIR_X/f.png"
green=$(convert "$TMPDIR_X/f.png" -fuzz 10% -fill black +opaque "rgb(0,255,0)" -fill white \
  -opaque "rgb(0,255,0)" -format "%[fx:int(mean*w*h)]" info:)
red=$(convert "$TMPDIR_X/f.png" -fuzz 10% -fill black +opaque "rgb(255,0,0)" -fill white \
  -opaque "rgb(255,0,0)" -format "%[fx:int(mean*w*h)]" info:)
disc=2234 # pi × 26.67²
[ "$red" -gt $((disc * 9 / 10)) ] && [ "$red" -lt $((disc * 11 / 10)) ] ||
  fail "red area $red, expected about $disc (one crisp disc)"
[ "$green" -gt $((disc * 18)) ] && [ "$green" -lt $((disc * 25)) ] ||
  fail "green area $green, expected about 24 discs of $disc"

xdotool key --window "$win" Escape
expect_exit 0
echo PASS
