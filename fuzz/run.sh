#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) if needed and runs each for SECONDS.
#   fuzz/run.sh SECONDS [target ...]     e.g. fuzz/run.sh 600 parser store
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the repository, ignored by git), FUZZ_JOBS
# (targets run at the same time, default 1), FUZZ_ARGS (more libFuzzer flags).
# New corpus entries go to $FUZZ_BUILD_DIR/corpus/<target>, findings to
# $FUZZ_BUILD_DIR/findings/<target>/, the log of each run to $FUZZ_BUILD_DIR/logs/<target>.log.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:?usage: fuzz/run.sh SECONDS [target ...]}"
shift
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
jobs="${FUZZ_JOBS:-1}"

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZJX_FUZZ=ON -DZJX_BUILD_TESTS=OFF -DZJX_BUILD_BENCH=OFF -DZJX_BUILD_SERVICE=OFF >/dev/null
fi
cmake --build "$build" --target zjx_fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$here"/fuzz_*.cpp; do
    name="$(basename "$src" .cpp)"
    targets+=("${name#fuzz_}")
  done
fi

run_one() {
  local target="$1"
  local corpus="$build/corpus/$target" findings="$build/findings/$target/" log="$build/logs/$target.log"
  mkdir -p "$corpus" "$findings" "$build/logs"
  local dict=()
  [ -f "$here/$target.dict" ] && dict=(-dict="$here/$target.dict")
  # The first folder takes the new entries; the seeds in the repository are only read.
  local status=0 started=$SECONDS
  # shellcheck disable=SC2086
  "$build/bin/fuzz_$target" "$corpus" "$here/corpus/$target" "${dict[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$findings" -print_final_stats=1 -rss_limit_mb=2048 ${FUZZ_ARGS:-} >"$log" 2>&1 || status=$?
  local runs
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  local found
  found="$(find "$findings" -type f | wc -l)"
  echo "$target: $((SECONDS - started))s, $runs executions, exit $status, findings: $found (log: $log)"
}

running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
# Any kept input (crash, leak, timeout, out of memory) is a finding that fails the run.
for target in "${targets[@]}"; do
  if [ -n "$(ls -A "$build/findings/$target" 2>/dev/null)" ]; then
    echo "findings in $build/findings/$target" >&2
    exit 1
  fi
done
