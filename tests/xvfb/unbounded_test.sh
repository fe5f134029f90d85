#!/usr/bin/env bash
# The unbounded mode from the menu: the caption changes, and particles leaving on one side are
# seen entering on the other (discs cut by the left and by the right edge of the view).
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.3
xdotool mousemove --window "$win" 100 100 click 3
menu=$(wait_window "メニュー")
sleep 0.3
xdotool mousemove --window "$menu" 80 30 click 1
wait_window "ヴァリム（境界なし）" >/dev/null

# Green pixels in the first and the last column of the 5000-twip view (333 px).
left=0
right=0
for i in $(seq 40); do
  shot "$win" "$TMPDIR_X/u.png"
  l=$(convert "$TMPDIR_X/u.png" -crop 1x333+0+0 -fuzz 20% -fill white +opaque "rgb(0,255,0)" \
      -format "%[fx:mean.r<0.999||mean.b<0.999?1:0]" info:)
  r=$(convert "$TMPDIR_X/u.png" -crop 1x333+332+0 -fuzz 20% -fill white +opaque "rgb(0,255,0)" \
      -format "%[fx:mean.r<0.999||mean.b<0.999?1:0]" info:)
  left=$((left + l))
  right=$((right + r))
  [ "$left" -gt 0 ] && [ "$right" -gt 0 ] && break
  sleep 0.1
done
[ "$left" -gt 0 ] || fail "no disc cut by the left edge"
[ "$right" -gt 0 ] || fail "no disc cut by the right edge"

# Back to the bounded mode: everything inside the box again.
xdotool mousemove --window "$win" 100 100 click 3
menu=$(wait_window "メニュー")
sleep 0.3
xdotool mousemove --window "$menu" 80 10 click 1
wait_window "ヴァリム（境界あり）" >/dev/null
xdotool key --window "$win" Escape
expect_exit 0
echo PASS
