#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) into build/fuzz and runs them.
#   fuzz.sh --smoke           every target for 20 s; fails on any crash or failed property
#   fuzz.sh TARGET SECONDS    one target (e.g. reply) for longer; extra arguments go to libFuzzer
# Seeds come from tests/fuzz/corpus/TARGET (read only); what a run adds goes to build/fuzz/corpus/TARGET,
# a crashing input to build/fuzz/crash-TARGET-*. A crash's input belongs in the seed corpus once fixed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="build/fuzz"

usage() { echo "usage: $0 --smoke | TARGET SECONDS [libFuzzer options]" >&2; exit 2; }
[ $# -ge 1 ] || usage
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DORLIX_FUZZ=ON -DORLIX_BUILD_UI=OFF -DORLIX_BUILD_TESTS=OFF -DORLIX_BUILD_BENCH=OFF \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

targets() { for f in tests/fuzz/fuzz_*.cpp; do f="${f##*/fuzz_}"; echo "${f%.cpp}"; done; }

# run TARGET SECONDS [options...]: one libFuzzer run, its log in build/fuzz/TARGET.log
run() {
  local t="$1" secs="$2"; shift 2
  [ -x "$build/fuzz/fuzz_$t" ] || { echo "fuzz.sh: no target '$t' (have: $(targets | xargs))" >&2; return 1; }
  mkdir -p "$build/corpus/$t" "tests/fuzz/corpus/$t"
  if "$build/fuzz/fuzz_$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/crash-$t-" "$@" "$build/corpus/$t" "tests/fuzz/corpus/$t" >"$build/$t.log" 2>&1; then
    echo "fuzz $t: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$build/$t.log" | tail -1)"
  else
    echo "fuzz $t: FAILED, see $build/$t.log" >&2
    grep -E 'ERROR|SUMMARY|property failed|Test unit written' "$build/$t.log" >&2 || true
    return 1
  fi
}

if [ "$1" = "--smoke" ]; then
  # Two at a time: the smoke must stay within a few minutes.
  failed=0 pids=()
  for t in $(targets); do
    run "$t" 20 & pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || failed=1; pids=("${pids[@]:1}"); fi
  done
  for p in "${pids[@]}"; do wait "$p" || failed=1; done
  exit "$failed"
fi
[ $# -ge 2 ] || usage
t="$1" secs="$2"; shift 2
run "$t" "$secs" "$@"
