#!/usr/bin/env bash
# mervik's benchmark, in one command: installs what is missing, builds mervik (Release), the
# floor and its extractor, prepares the inputs under bench/work/, runs every contender and prints
# the table (also written to bench/results.md).
#
#   bench/run.sh                 full run: inputs A to F, 5 runs each (the peer fewer)
#   bench/run.sh --quick         CI smoke run: input A, each contender once, no time asserted;
#                                the table goes to bench/work/results-quick.md
#   options: --runs N  --peer-runs N  --inputs ABCDEF  --contenders mervik,floor,peer
#            --results FILE  --timeout SECONDS  --strict (exit 1 when a target is missed)
#            --mervik PATH (benchmark this binary instead of building one)  --no-deps
#            --baseline PATH [--baseline-runs N] (also run that mervik binary, N times (1),
#            and say per input whether its PDF is the same as mervik's, by md5)
# Environment: BENCH_BUILD, the build directory for mervik (default build-bench at the root).
set -euo pipefail

bench="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$bench")"
work="$bench/work"
build="${BENCH_BUILD:-$root/build-bench}"

measure_args=()
inputs=ABCDEF
mervik=""
deps=yes
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) measure_args+=(--quick); inputs=A ;;
    --runs|--peer-runs|--contenders|--results|--timeout|--baseline-runs)
      measure_args+=("$1" "$2"); shift ;;
    --baseline) measure_args+=(--baseline "$(realpath "$2")"); shift ;;
    --inputs) inputs="$2"; measure_args+=(--inputs "$2"); shift ;;
    --mervik) mervik="$2"; shift ;;
    --strict) measure_args+=(--strict) ;;
    --no-deps) deps=no ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

# What building and running the contenders needs; installed only when missing.
install_missing() {
  local packages=(cmake make g++ pkg-config libhpdf-dev python3 util-linux ghdl-common
                  enscript ghostscript poppler-utils libqpdf-dev)
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "bench: installing ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}
[ "$deps" = yes ] && install_missing

mkdir -p "$work/bin"
if [ -z "$mervik" ]; then
  echo "bench: building mervik (Release) in $build" >&2
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMERVIK_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2 --target mervik >/dev/null
  mervik="$build/mervik"
fi
# mervik reads mervik.rsc beside its binary: benchmark a copy beside the shipped classes with
# the classic listing's options (no emphasis, links or unit bookmarks), which is what the floor
# can draw; bench/options.py weighs those options one by one.
cp "$mervik" "$work/bin/mervik"
rm -f "$work/bin/mervik.rsc"
if [ -f "$root/examples/mervik.rsc" ]; then
  { sed '/^\/OPTIONS/,$d' "$root/examples/mervik.rsc"
    printf '/OPTIONS\nlinks off\noutline files\n'; } >"$work/bin/mervik.rsc"
else
  echo "bench: warning: examples/mervik.rsc is missing; mervik runs without a resource file" >&2
fi
make -s -C "$bench" tools >/dev/null

python3 "$bench/inputs.py" --work "$work" --inputs "$inputs"
exec python3 "$bench/measure.py" --work "$work" --mervik "$work/bin/mervik" \
  --floor "$work/floor" --extract "$work/extract_lines" "${measure_args[@]}"
