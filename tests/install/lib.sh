# Shared by the install tests (arguments: build and source directory).

set -euo pipefail
build=$(cd "$1" && pwd) src=$(cd "$2" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }
# 77: the status CTest reports as "skipped" (SKIP_RETURN_CODE in CMakeLists.txt).
skip() { echo "SKIP: $*" >&2; exit 77; }
# make_workdir NAME: a fresh $work, removed when the script succeeds, kept when it fails.
make_workdir() { work=$(mktemp -d "${TMPDIR:-/tmp}/mervik-$1.XXXXXX"); trap remove_workdir EXIT; }

# A removal that still races with a viewer is tried again rather than failing a passed test.
remove_workdir() {
  local rc=$? i
  [ $rc -eq 0 ] || { echo "kept for inspection: $work" >&2; return; }
  for i in 1 2 3 4 5; do rm -rf "$work" 2>/dev/null && return; sleep 0.2; done
  echo "could not remove $work" >&2
}

# A fake xdg-open, first in PATH, that appends its argument to the file MERVIK_TEST_OPENED names.
make_fake_viewer() {
  mkdir -p "$work/fakebin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"$MERVIK_TEST_OPENED"\n' >"$work/fakebin/xdg-open"
  chmod +x "$work/fakebin/xdg-open"
}

# write_sample DIR: DIR/blink.vhd, a small VHDL file with a tab and a comment.
write_sample() {
  mkdir -p "$1"
  printf -- '-- Toggles an LED.\nentity blink is\n\tport (led : out bit);\nend entity blink;\n' \
    >"$1/blink.vhd"
}

# run_mervik LABEL DIR PATHDIRS PROGRAM ARG...: in DIR, a new session, no user's settings (but
# $xdg if set); the exit status in $run_status, the console in $work/LABEL.err.
run_mervik() {
  local label=$1 dir=$2 pathdirs=$3
  shift 3
  run_status=0
  # A display to show the listing on: without one the viewer is not started.
  (cd "$dir" && unset XDG_CONFIG_HOME MERVIK_NO_OPEN && export HOME="$work/home" &&
   if [ -n "${xdg:-}" ]; then export XDG_CONFIG_HOME=$xdg; fi &&
   MERVIK_TEST_OPENED="$work/$label.opened" DISPLAY=:99 \
     PATH="$work/fakebin:${pathdirs:+$pathdirs:}/usr/bin:/bin" \
     timeout 120 setsid -w "$@" </dev/null >/dev/null 2>"$work/$label.err") || run_status=$?
  # Wait for the detached viewer, so that none still writes into $work after the run.
  if grep -q 'Listing file: ' "$work/$label.err"; then opened_path "$label" >/dev/null; fi
}

# opened_path LABEL: what the viewer of run LABEL was handed, after waiting up to 10 s for it.
opened_path() {
  for _ in $(seq 1 100); do [ -s "$work/$1.opened" ] && break; sleep 0.1; done
  cat "$work/$1.opened" 2>/dev/null || true
}

# expect_listing LABEL LISTING OPENED CONSOLE: run LABEL ended with 0 and CONSOLE shown, saved
# LISTING with the sample's text and handed OPENED to the viewer.
expect_listing() {
  local console opened
  console=$(cat "$work/$1.err") opened=$(opened_path "$1")
  [ "$run_status" -eq 0 ] || fail "$1: exit status $run_status; console:"$'\n'"$console"
  [[ $console == *"$4"* ]] || fail "$1: no \"$4\" on the console:"$'\n'"$console"
  pdftotext "$2" - | grep -q 'entity blink is' || fail "$1: no sample text in $2"
  [ "$opened" = "$3" ] || fail "$1: viewer opened '$opened', expected '$3'"
}

install_prefix() {
  cmake --install "$build" --prefix "$1" >"$work/install.log" 2>&1 ||
    fail "cmake --install failed:"$'\n'"$(cat "$work/install.log")"
}

# build_package: cpack makes the Debian package of $build; its path in $deb.
build_package() {
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
  deb=$(echo "$work"/out/*.deb)
  [ -f "$deb" ] || fail "expected one .deb in $work/out: $deb"
}
