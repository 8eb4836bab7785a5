#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on a copy of its seed
# corpus. Usage: fuzz/run.sh [seconds per target, default 30] [build dir, default build-fuzz]
# A longer run: fuzz/run.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${2:-build-fuzz}

CXX=clang++ CC=clang cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMERVIK_FUZZ=ON -DMERVIK_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target fuzz_source fuzz_resource fuzz_tokenizer

work="$build/fuzz-work"
status=0
for target in source resource tokenizer; do
  mkdir -p "$work/$target" "$work/artifacts"
  cp -n fuzz/corpus/$target/* "$work/$target/" 2>/dev/null || true
  [ "$target" = source ] && cp -n examples/*.vhd "$work/source/"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
       -rss_limit_mb=4096 -artifact_prefix="$work/artifacts/$target-" -print_final_stats=1 \
       "$work/$target" 2>"$work/$target.log"; then
    echo "fuzz_$target found a failure; see $work/$target.log and $work/artifacts/"
    tail -40 "$work/$target.log"
    status=1
  fi
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$work/$target.log" || true
done
exit $status
