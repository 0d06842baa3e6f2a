#!/usr/bin/env bash
# Installs what is missing, builds the client and starts it.
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
exec "$build/ui/orlix-ftp"
