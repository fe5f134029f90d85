#!/usr/bin/env bash
# A move of the main window right after it appears sticks: the program keeps the window's
# corner in place only until the window manager's frame has arrived, never against the user.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.3
read -r sx sy _ _ < <(frame_geometry "$win")
xdotool windowmove "$win" 40 60
sleep 0.3
read -r mx my _ _ < <(frame_geometry "$win")
[ "$mx" -ne "$sx" ] || [ "$my" -ne "$sy" ] || fail "the window is back at its start place $sx,$sy"
sleep 2
read -r ex ey _ _ < <(frame_geometry "$win")
[ "$ex" -eq "$mx" ] && [ "$ey" -eq "$my" ] ||
  fail "moved to $mx,$my, then back to $ex,$ey (start place $sx,$sy)"

xdotool key --window "$win" Escape
expect_exit 0
echo PASS
