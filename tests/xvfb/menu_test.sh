#!/usr/bin/env bash
# The command menu from real right clicks: where it opens, pause freezing the picture, play
# resuming it, activation of the main window hiding it, and exit ending the program.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.5

open_menu_at() {
  xdotool mousemove --window "$win" "$1" "$2" click 3
  wait_window "メニュー"
}

# A right click at client point (100, 80) px: the menu's outer corner is the main window's
# outer corner plus (100, 80).
menu=$(open_menu_at 100 80)
sleep 0.5
read -r mx my mw mh < <(frame_geometry "$win")
read -r nx ny nw nh < <(frame_geometry "$menu")
[ $((nx - mx - 100)) -le 1 ] && [ $((mx + 100 - nx)) -le 1 ] || fail "menu left $nx, main left $mx"
[ $((ny - my - 80)) -le 1 ] && [ $((my + 80 - ny)) -le 1 ] || fail "menu top $ny, main top $my"
read -r cx cy cw ch < <(client_geometry "$menu")
[ "$cw" -eq 166 ] && [ "$ch" -eq 100 ] || fail "menu client ${cw}x${ch}, expected 166x100"

# Buttons are 20 px high; by position from the top: bounded, unbounded, pause, settings, exit.
click_button() {
  xdotool mousemove --window "$menu" 80 $(( $1 * 20 + 10 )) click 1
  sleep 0.3
}

click_button 2 # pause
wait_no_window "メニュー"
sleep 0.2
shot "$win" "$TMPDIR_X/p1.png"
sleep 0.5
shot "$win" "$TMPDIR_X/p2.png"
compare -metric AE "$TMPDIR_X/p1.png" "$TMPDIR_X/p2.png" null: 2>/dev/null || fail "paused picture changes"

menu=$(open_menu_at 60 60)
click_button 2 # play
sleep 0.3
shot "$win" "$TMPDIR_X/r1.png"
sleep 0.3
shot "$win" "$TMPDIR_X/r2.png"
compare -metric AE "$TMPDIR_X/r1.png" "$TMPDIR_X/r2.png" null: 2>/dev/null && fail "play did not resume"

# Activating the main window hides the menu.
menu=$(open_menu_at 200 200)
sleep 0.6
xdotool windowactivate --sync "$win"
wait_no_window "メニュー"

# A right click on the inactive main window (the menu active) reopens the menu at the new point.
menu=$(open_menu_at 120 40)
sleep 0.6
xdotool windowactivate --sync "$menu" 2>/dev/null || true
sleep 0.3
menu=$(open_menu_at 50 150)
sleep 0.6
read -r mx my mw mh < <(frame_geometry "$win")
read -r nx ny nw nh < <(frame_geometry "$menu")
[ $((nx - mx - 50)) -le 1 ] && [ $((mx + 50 - nx)) -le 1 ] || fail "reopened menu left $nx, main $mx"

click_button 4 # exit
expect_exit 0
echo PASS
