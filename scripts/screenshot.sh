#!/usr/bin/env bash
# Runs a command on a virtual 1600x1000 screen and captures the whole screen to a PNG.
#
#   screenshot.sh OUT.png [--screen WxH] [--wait N] [--settle S] [--sleep N] -- COMMAND [ARGS...]
#
# --screen sets the virtual screen's size (default 1600x1000). Captures S seconds (default 2) after the command's first window is shown, or after N seconds
# (default 30) if none is; --sleep N captures after exactly N seconds instead. Then the command and
# the virtual screen are stopped. Exit status 0 when the PNG was written.
set -euo pipefail

usage() { sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
(($# >= 3)) || usage
out="$1"; shift
wait_max=30 settle=2 fixed="" screen=1600x1000
while (($#)); do
  case "$1" in
    --screen) screen="$2"; shift 2 ;;
    --wait) wait_max="$2"; shift 2 ;;
    --settle) settle="$2"; shift 2 ;;
    --sleep) fixed="$2"; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
(($#)) || usage
mkdir -p "$(dirname "$out")"

# A free display number: no lock file and no socket.
display=""
for ((n = 90; n < 190; n++)); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "screenshot.sh: no free display number" >&2; exit 1; }

xvfb_pid="" app_pid="" runtime_dir=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime_dir=$(mktemp -d /tmp/orlix-screenshot-runtime.XXXXXX)
  export XDG_RUNTIME_DIR="$runtime_dir"
fi
cleanup() {
  if [ -n "$app_pid" ]; then
    kill -TERM -- "-$app_pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL -- "-$app_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  [ -z "$runtime_dir" ] || rm -rf "$runtime_dir"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp -nolisten unix >/dev/null 2>&1 &
xvfb_pid=$!
# -nolisten unix leaves the abstract socket, which local clients use.
for ((i = 0; i < 100; i++)); do
  xdpyinfo -display "$display" >/dev/null 2>&1 && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY="$display"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

setsid "$@" &
app_pid=$!

viewable_window() {
  local id
  for id in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
  done
  return 1
}

if [ -n "$fixed" ]; then
  sleep "$fixed"
else
  shown=0
  end=$((SECONDS + wait_max))
  while ((SECONDS < end)); do
    if viewable_window; then shown=1; break; fi
    kill -0 "$app_pid" 2>/dev/null || { echo "screenshot.sh: the command ended before showing a window" >&2; break; }
    sleep 0.2
  done
  ((shown)) && sleep "$settle" || echo "screenshot.sh: no window shown; capturing the screen as it is" >&2
fi
import -display "$display" -window root "$out"
echo "screenshot.sh: wrote $out"
