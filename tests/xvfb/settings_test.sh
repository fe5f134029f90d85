#!/usr/bin/env bash
# The particle settings dialog in a real X session: opened from the menu, it locks the main
# window; letters in the count bring one error box and the focus back; O.K. with letters writes
# nothing; 7 per side and a picked particle give 49 discs with the picked one red.
BROWNIAN=$1
. "$(dirname "$0")/lib.sh"

# Centres "x y" of the blobs of one colour in a PNG, one line each.
blob_centres() {
  convert "$1" -fill black -fuzz 25% +opaque "$2" -fill white -opaque "$2" \
    -define connected-components:area-threshold=20 \
    -define connected-components:verbose=true -connected-components 8 null: 2>/dev/null |
    awk 'NR>1 && $NF ~ /255,255,255|gray\(255\)|white/ {split($3, c, ","); print c[1], c[2]}'
}

# Pixels of one colour in a PNG.
colour_area() {
  convert "$1" -fill black -fuzz 25% +opaque "$2" -fill white -opaque "$2" -colorspace gray \
    -format "%[fx:round(mean*w*h)]" info:
}

near() { # near A B TOLERANCE
  awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN{d=a-b; if (d<0) d=-d; exit !(d<=t)}'
}

is_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# The preview's part of a dialog screenshot: client 98,120, 204 × 204 px.
preview_crop() { convert "$1" -crop 204x204+98+120 +repage "$2"; }

start_x
start_app
win=$(wait_window "ヴァリム（枠あり）")
sleep 0.5

# The settings button spans menu client y 900..1200 twips = 60..80 px.
menu_command 70
dlg=$(wait_window "粒子の設定")
sleep 0.5
read -r _ _ dw dh < <(client_geometry "$dlg")
[ "$dw" -eq 407 ] && [ "$dh" -eq 380 ] || fail "dialog client ${dw}x$dh, expected 407x380"
read -r mfx mfy _ _ < <(frame_geometry "$win")
read -r dfx dfy _ _ < <(frame_geometry "$dlg")
near "$dfx" "$mfx" 1 && near "$dfy" "$mfy" 1 || fail "dialog at $dfx,$dfy, main at $mfx,$mfy"
read -r dx dy _ _ < <(client_geometry "$dlg")

# The main window takes no keys while the dialog is open (the dialog, placed at the main
# window's corner, covers it); the dialog stays the active window.
xdotool key --window "$win" d
sleep 0.5
read -r _ _ fw _ < <(frame_geometry "$win")
[ "$fw" -eq 344 ] || fail "D changed the main window while the dialog is open (width $fw)"
is_shown "メニュー" && fail "the menu is shown while the dialog is open"
[ "$(xdotool getactivewindow)" = "$dlg" ] || fail "the dialog is not the active window"

# Letters in the count, then Tab: one error box; Return closes it; the focus is back in the
# count field with the text unchanged.
xdotool key ctrl+a
xdotool type abc
sleep 0.2
shot "$dlg" "$TMPDIR_X/typed.png"
xdotool key Tab
box=$(wait_window "エラー")
sleep 0.5
n=$(xdotool search --onlyvisible --name "^エラー\$" | wc -l)
[ "$n" -eq 1 ] || fail "$n error boxes after Tab"
[ "$(xdotool getactivewindow)" = "$box" ] || fail "the error box is not active"
xdotool key Return
wait_no_window "エラー"
sleep 0.3
is_shown "粒子の設定" || fail "the dialog closed after the error box"
[ "$(xdotool getactivewindow)" = "$dlg" ] || fail "the dialog is not active after the box"
shot "$dlg" "$TMPDIR_X/after.png"
# LblNum3 mirrors the count text: client 2300,100 twips, 800 × 270.
convert "$TMPDIR_X/typed.png" -crop 50x14+155+8 +repage "$TMPDIR_X/l1.png"
convert "$TMPDIR_X/after.png" -crop 50x14+155+8 +repage "$TMPDIR_X/l2.png"
[ "$(compare -metric AE "$TMPDIR_X/l1.png" "$TMPDIR_X/l2.png" null: 2>&1)" = 0 ] ||
  fail "the count text changed after the error box"
# Typing goes to the count field: 3 per side shows a 3 × 3 preview once checked.
xdotool key ctrl+a
xdotool type 3
xdotool key Tab
sleep 0.5
is_shown "エラー" && fail "an error box for a valid count"
shot "$dlg" "$TMPDIR_X/three.png"
preview_crop "$TMPDIR_X/three.png" "$TMPDIR_X/p3.png"
g=$(count_blobs "$TMPDIR_X/p3.png" "rgb(0,255,0)")
r=$(count_blobs "$TMPDIR_X/p3.png" "rgb(255,0,0)")
[ "$g" -eq 8 ] && [ "$r" -eq 1 ] || fail "3 x 3 preview shows $g green and $r red discs"

# O.K. with letters in the count: one box, the dialog stays open.
xdotool mousemove $((dx + 120)) $((dy + 15)) click 1 # into the count field
sleep 0.2
xdotool key ctrl+a
xdotool type xyz
xdotool mousemove $((dx + 253)) $((dy + 350)) click 1 # O.K.
wait_window "エラー" >/dev/null
sleep 0.5
n=$(xdotool search --onlyvisible --name "^エラー\$" | wc -l)
[ "$n" -eq 1 ] || fail "$n error boxes after O.K."
xdotool key Return
wait_no_window "エラー"
sleep 0.5
is_shown "粒子の設定" || fail "O.K. with letters in the count closed the dialog"
is_shown "エラー" && fail "a second error box"

# 7 per side, pick row 1 column 3 (particle 8), O.K.
xdotool key ctrl+a
xdotool type 7
cell=$(awk 'BEGIN{print 204/7}')
px=$(awk -v c="$cell" 'BEGIN{printf "%d", 98 + 3.5*c}')
py=$(awk -v c="$cell" 'BEGIN{printf "%d", 120 + 1.5*c}')
xdotool mousemove $((dx + px)) $((dy + py)) click 1
sleep 0.5
is_shown "エラー" && fail "an error box for 7"
shot "$dlg" "$TMPDIR_X/seven.png"
preview_crop "$TMPDIR_X/seven.png" "$TMPDIR_X/p7.png"
g=$(count_blobs "$TMPDIR_X/p7.png" "rgb(0,255,0)")
[ "$g" -eq 48 ] || fail "7 x 7 preview shows $g green discs"
read -r rx ry < <(blob_centres "$TMPDIR_X/p7.png" "rgb(255,0,0)")
near "$rx" $((px - 98)) 3 && near "$ry" $((py - 120)) 3 || fail "picked disc at $rx,$ry"
xdotool mousemove $((dx + 253)) $((dy + 350)) click 1
wait_no_window "粒子の設定"
sleep 0.3
[ "$(xdotool getactivewindow)" = "$win" ] || fail "the main window is not active after O.K."

# Pause from the menu (button 4 spans client y 600..900 twips = 40..60 px), then count the discs.
# Discs in contact merge into one blob, so count by area: one disc of 400 twips is about
# 545 px here (measured on a lone disc, edges antialiased).
sleep 0.3
menu_command 50
sleep 0.3
shot "$win" "$TMPDIR_X/run1.png"
sleep 0.3
shot "$win" "$TMPDIR_X/run2.png"
cmp -s "$TMPDIR_X/run1.png" "$TMPDIR_X/run2.png" || fail "the animation did not pause"
reds=$(count_blobs "$TMPDIR_X/run1.png" "rgb(255,0,0)")
[ "$reds" -eq 1 ] || fail "$reds red discs after O.K."
area=$(($(colour_area "$TMPDIR_X/run1.png" "rgb(0,255,0)") + $(colour_area "$TMPDIR_X/run1.png" "rgb(255,0,0)")))
discs=$(awk -v a="$area" 'BEGIN{printf "%d", a / 545 + 0.5}')
[ "$discs" -ge 45 ] && [ "$discs" -le 53 ] || fail "about $discs discs after O.K., expected 49"
echo "after O.K.: area $area px, about $discs discs, $reds red"

# The setting stuck: the dialog opens again on 7 × 7 with particle 8 red.
menu_command 70
dlg=$(wait_window "粒子の設定")
sleep 0.5
shot "$dlg" "$TMPDIR_X/again.png"
preview_crop "$TMPDIR_X/again.png" "$TMPDIR_X/pa.png"
g=$(count_blobs "$TMPDIR_X/pa.png" "rgb(0,255,0)")
[ "$g" -eq 48 ] || fail "reopened preview shows $g green discs"
read -r rx ry < <(blob_centres "$TMPDIR_X/pa.png" "rgb(255,0,0)")
near "$rx" $((px - 98)) 3 && near "$ry" $((py - 120)) 3 || fail "tracked particle at $rx,$ry"

# Cancel: the dialog closes and the animation runs again.
read -r dx dy _ _ < <(client_geometry "$dlg")
xdotool mousemove $((dx + 347)) $((dy + 350)) click 1
wait_no_window "粒子の設定"
sleep 0.3
shot "$win" "$TMPDIR_X/c1.png"
sleep 0.3
shot "$win" "$TMPDIR_X/c2.png"
cmp -s "$TMPDIR_X/c1.png" "$TMPDIR_X/c2.png" && fail "the animation did not restart after Cancel"

xdotool key --window "$win" Escape
expect_exit 0
echo "PASS"
