#!/usr/bin/env bash
# Installs what is missing, builds the client and starts it. On a first run (no site list yet) it
# offers the local demo server with its site, so there is something to connect to at once.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

build="build/release"
bash scripts/setup.sh
if [ ! -f ui/main.cpp ]; then
  echo "run.sh: the user interface (ui/main.cpp) is not built yet" >&2
  exit 1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target orlix-ftp
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display; to see the window without one: bash scripts/screenshot.sh OUT.png -- $build/ui/orlix-ftp" >&2
  exit 1
fi
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
if [ ! -e "$data_home/orlix-ftp/FTPList.dat" ] && [ -t 0 ]; then
  read -r -p "No site list yet. Start the local demo server and add its site \"Local demo\"? [Y/n] " answer || answer=n
  case "$answer" in
    "" | [Yy]*)
      echo "run.sh: the demo server runs while the client is open; later, bash scripts/demo.sh starts both again"
      ORLIX_DEMO_DATA="$data_home" exec bash scripts/demo.sh ;;
  esac
fi
exec "$build/ui/orlix-ftp"
