# Shared helpers of the real-window tests: a private X server with a window manager, and ways
# to find, drive and photograph the program's windows. Source it from a test script.
set -euo pipefail

BROWNIAN=${BROWNIAN:-}
TMPDIR_X=$(mktemp -d)
X_PID=
WM_PID=
APP_PID=

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Starts Xvfb on a free display and openbox on it (unless NO_WM=1); exports DISPLAY.
start_x() {
  local fd_file="$TMPDIR_X/display"
  # XVFB_ARGS: further options of the server (-ardelay MS: the keyboard's repeat delay).
  # shellcheck disable=SC2086
  Xvfb -displayfd 3 -screen 0 "${SCREEN:-1280x1024}x24" -nolisten tcp ${XVFB_ARGS:-} 3>"$fd_file" >/dev/null 2>&1 &
  X_PID=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.05
  done
  [ -s "$fd_file" ] || fail "Xvfb did not start"
  export DISPLAY=":$(tr -d '\n' <"$fd_file")"
  if [ "${NO_WM:-0}" != 1 ]; then
    openbox --sm-disable >/dev/null 2>&1 &
    WM_PID=$!
    sleep 0.5
  fi
}

stop_all() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null || true
  [ -n "$X_PID" ] && kill "$X_PID" 2>/dev/null || true
  rm -rf "$TMPDIR_X"
}
trap stop_all EXIT

# Starts the program in the background; its pid is APP_PID.
start_app() {
  [ -x "$BROWNIAN" ] || fail "program not found: $BROWNIAN"
  XDG_RUNTIME_DIR="$TMPDIR_X" "$BROWNIAN" "$@" >"$TMPDIR_X/app.log" 2>&1 &
  APP_PID=$!
}

# Waits for a window whose caption is exactly $1 and prints its id.
wait_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  fail "no window titled $1"
}

# Waits until no visible window is titled $1.
wait_no_window() {
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window $1 is still shown"
}

# Client-area geometry of a window: prints "x y width height" in pixels.
client_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}

# Outer geometry including the window manager's frame: prints "x y width height".
# The frame comes from the window manager's _NET_FRAME_EXTENTS.
frame_geometry() {
  local extents
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')
  read -r cx cy cw ch < <(client_geometry "$1")
  if [ -n "$extents" ]; then
    read -r l r t b <<<"$extents"
    echo $((cx - l)) $((cy - t)) $((cw + l + r)) $((ch + t + b))
  else
    echo "$cx" "$cy" "$cw" "$ch"
  fi
}

# Screenshot of a window's client area into $2 (PNG).
# Right click on the main window $win, then a click on a menu button at client y $1 (pixels).
menu_command() {
  read -r cx cy _ _ < <(client_geometry "$win")
  xdotool mousemove $((cx + 120)) $((cy + 140)) click 3
  local menu
  menu=$(wait_window "メニュー")
  sleep 0.3
  read -r mx my _ _ < <(client_geometry "$menu")
  xdotool mousemove $((mx + 80)) $((my + $1)) click 1
  sleep 0.5
}

shot() {
  import -window "$1" "$2"
}

# Counts the connected blobs of one colour in a PNG: prints the count.
# $2 is an ImageMagick colour, e.g. "rgb(0,255,0)".
count_blobs() {
  convert "$1" -fill black -fuzz 25% +opaque "$2" -fill white -opaque "$2" \
    -define connected-components:area-threshold=20 \
    -define connected-components:verbose=true -connected-components 8 null: 2>/dev/null |
    awk 'NR>1 && $NF ~ /255,255,255|gray\(255\)|white/ {n++} END{print n+0}'
}

# Waits for the program to end and checks its exit status equals $1.
expect_exit() {
  local status=0
  for _ in $(seq 50); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$APP_PID" 2>/dev/null && fail "program still running"
  wait "$APP_PID" || status=$?
  APP_PID=
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}
