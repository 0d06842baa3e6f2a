#!/usr/bin/env bash
# Soak: a tree of many small files down and up again in one session through the window's transfer
# engine (the queue runner) against vsftpd (passive), then checks that every file arrived byte for
# byte; prints the times and the client's resident memory after 1000 files and at the end.
# Not part of CI.
#
#   bash bench/soak.sh [FILES]    (default 10000; ORLIX_SOAK_BUILD, default build/release; port 12400)
#   bash bench/soak.sh --queue [ENTRIES]   (default 5000) only the queue file: a queue of that many
#                                 entries over five sites saved and loaded again, every field compared;
#                                 prints the times and the peak memory (no server needed)
#
# Needs root (vsftpd).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

build="${ORLIX_SOAK_BUILD:-build/release}"
if [ "${1:-}" = "--queue" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j 2 --target bench_queue_file >/dev/null
  exec "$build/bench/bench_queue_file" "${2:-5000}"
fi
files="${1:-10000}"
port="${ORLIX_SOAK_PORT:-12400}"

bash scripts/ftp-servers.sh prepare
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target bench_tree_soak >/dev/null
bin="$root/$build/bench/bench_tree_soak"

tmp=$(mktemp -d /tmp/orlix-soak.XXXXXX)
chmod 755 "$tmp"
mkdir -p "$tmp/root/tree" "$tmp/root/back" "$tmp/local"
cleanup() {
  bash scripts/ftp-servers.sh stop vsftpd "$port" >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# 100 folders of small files of varied sizes (0 .. 4 KiB).
for ((i = 0; i < files; i++)); do
  d="d$((i % 100))"
  mkdir -p "$tmp/root/tree/$d"
  head -c $(( (i * 37) % 4097 )) /dev/urandom >"$tmp/root/tree/$d/f$i.bin"
done
chmod -R a+rwX "$tmp/root"
bash scripts/ftp-servers.sh start vsftpd "$port" "$tmp/root" 2>/dev/null

status=0
"$bin" "$port" tree "$tmp/local" back 2>"$tmp/err" || { status=1; tail -5 "$tmp/err" >&2; }
lost=0
diff -r "$tmp/root/tree" "$tmp/local/tree" >/dev/null || { lost=1; echo "soak: the downloaded tree differs" >&2; }
diff -r "$tmp/root/tree" "$tmp/root/back/tree" >/dev/null || { lost=1; echo "soak: the uploaded tree differs" >&2; }
[ "$status" -eq 0 ] && [ "$lost" -eq 0 ] && echo "soak: $files files down and up, nothing lost"
[ "$status" -eq 0 ] && [ "$lost" -eq 0 ]
