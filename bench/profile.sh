#!/usr/bin/env bash
# Where mervik spends its time on one benchmark input: builds an optimised mervik with debug
# information (build-bench-prof at the root), runs it on the input and prints the hot functions.
#
#   bench/profile.sh [--input A|B|C|D] [--files N] [--tool perf|callgrind]
#     --input   the prepared input under bench/work/ (default A; run bench/run.sh once first)
#     --files   only the first N files of the input (callgrind is some 50 times slower)
#     --tool    perf (sampling; default where perf can record) or callgrind (exact counts,
#               inclusive costs); the raw data stays in bench/work/profile/
set -euo pipefail

bench="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$bench")"
work="$bench/work"
build="$root/build-bench-prof"
input=A
files=0
tool=""
while [ $# -gt 0 ]; do
  case "$1" in
    --input) input="$2"; shift ;;
    --files) files="$2"; shift ;;
    --tool) tool="$2"; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "profile: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
dir="$work/$input"
[ -f "$dir/files.txt" ] || { echo "profile: no input $input; run bench/run.sh first" >&2; exit 1; }
if [ -z "$tool" ]; then
  tool=callgrind
  perf record -q -o /dev/null -- true >/dev/null 2>&1 && tool=perf
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMERVIK_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-g -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" -j 2 --target mervik >/dev/null
out="$work/profile"
mkdir -p "$out/bin" "$out/fakebin"
cp "$build/mervik" "$out/bin/mervik"
rm -f "$out/bin/mervik.rsc"
[ -f "$root/examples/mervik.rsc" ] && cp "$root/examples/mervik.rsc" "$out/bin/mervik.rsc"
printf '#!/bin/sh\nexit 0\n' >"$out/fakebin/xdg-open"
chmod +x "$out/fakebin/xdg-open"

mapfile -t names <"$dir/files.txt"
[ "$files" -gt 0 ] && names=("${names[@]:0:$files}")
echo "profile: mervik on $input (${#names[@]} files) with $tool" >&2
cd "$dir"
export PATH="$out/fakebin:$PATH"
case "$tool" in
  perf)
    setsid -w perf record -q -F 1999 -g -o "$out/perf.data" -- "$out/bin/mervik" \
      "${names[@]}" </dev/null 2>"$out/mervik.err"
    echo "== self time by library (perf) =="
    perf report -i "$out/perf.data" --stdio --no-children --sort dso 2>/dev/null |
      grep -E '^ +[0-9]' | head -8 || true
    echo "== self time by function (perf, $out/perf.data) =="
    perf report -i "$out/perf.data" --stdio --no-children --sort dso,symbol 2>/dev/null |
      grep -E '^ +[0-9]' | head -30 || true
    echo "== including callees =="
    perf report -i "$out/perf.data" --stdio --children --sort symbol -g none 2>/dev/null |
      grep -E '^ +[0-9]' | head -30 || true
    ;;
  callgrind)
    setsid -w valgrind -q --tool=callgrind --callgrind-out-file="$out/callgrind.out" \
      "$out/bin/mervik" "${names[@]}" </dev/null 2>"$out/mervik.err"
    echo "== self cost by function (callgrind, $out/callgrind.out) =="
    callgrind_annotate "$out/callgrind.out" | sed -n '/^Ir/,$p' | head -35 || true
    echo "== including callees =="
    callgrind_annotate --inclusive=yes "$out/callgrind.out" | sed -n '/^Ir/,$p' | head -35 ||
      true
    ;;
  *) echo "profile: unknown tool $tool" >&2; exit 2 ;;
esac
