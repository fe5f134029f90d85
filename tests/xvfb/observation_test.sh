#!/usr/bin/env bash
# The observation window in a real X session: G on the main window opens "観測" beside it, with
# the program's icon; its picture moves on while the animation runs and stands still while it
# is paused; G closes it; Esc on the main window still ends the program with status 0.
BROWNIAN=$1
SCREEN=${SCREEN:-1920x1080}
. "$(dirname "$0")/lib.sh"

near() { # near A B TOLERANCE
  awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN{d=a-b; if (d<0) d=-d; exit !(d<=t)}'
}

# A digest of a window's pixels.
picture_of() {
  import -window "$1" rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.5

xdotool key --window "$win" g
obs=$(wait_window "観測")
sleep 0.5
read -r mx my mw _ < <(frame_geometry "$win")
read -r ox oy _ _ < <(frame_geometry "$obs")
near "$ox" $((mx + mw)) 1 && near "$oy" "$my" 1 ||
  fail "observation window at $ox,$oy; main window's frame $mx,$my, $mw wide"
read -r _ _ cw ch < <(client_geometry "$obs")
[ "$cw" -eq 720 ] && [ "$ch" -eq 660 ] || fail "observation window ${cw}x$ch, expected 720x660"
# Read whole before matching: grep -q would stop reading early and fail the pipeline.
icon=$(xprop -id "$obs" _NET_WM_ICON)
[[ $icon == *=* ]] || fail "the observation window has no icon"

# Running: the picture moves on within a second.
a=$(picture_of "$obs")
sleep 1
b=$(picture_of "$obs")
[ "$a" != "$b" ] || fail "the picture did not change while the animation ran"

# Paused from the menu (its pause button spans client y 40..60 px): it stands still.
menu_command 50
sleep 0.5
c=$(picture_of "$obs")
sleep 1
d=$(picture_of "$obs")
[ "$c" = "$d" ] || fail "the picture changed while the animation was paused"
menu_command 50 # play

# G on the main window closes it, and opens it again.
xdotool key --window "$win" g
wait_no_window "観測"
xdotool key --window "$win" g
wait_window "観測" >/dev/null

# Esc on the main window ends the program, the observation window with it.
xdotool key --window "$win" Escape
expect_exit 0
echo PASS
