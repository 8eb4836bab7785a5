# Shared by the install tests: a temporary directory per test, a fake viewer, a sample source,
# and one run of an installed mervik checked the way a user would look at it.
# Sourced by the *_test.sh scripts, which CTest starts with the build and the source directory.

set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
# 77: the status CTest reports as "skipped" (SKIP_RETURN_CODE in CMakeLists.txt).
skip() { echo "SKIP: $*" >&2; exit 77; }

# make_workdir NAME: a fresh directory in $work, removed when the script succeeds and left
# behind, its path printed, when it fails.
make_workdir() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/mervik-$1.XXXXXX")
  trap 'remove_workdir' EXIT
}

# A detached viewer that outlives every wait still may write into $work while it is removed;
# a removal that races with it is tried again rather than failing a test that passed.
remove_workdir() {
  local rc=$? i
  if [ $rc -ne 0 ]; then
    echo "kept for inspection: $work" >&2
    return
  fi
  for i in 1 2 3 4 5; do
    rm -rf "$work" 2>/dev/null && return
    sleep 0.2
  done
  echo "could not remove $work" >&2
}

# A fake xdg-open in $work/fakebin that appends its argument to the file that the run's
# MERVIK_TEST_OPENED names, so that each run's viewer reports apart from the others.
make_fake_viewer() {
  mkdir -p "$work/fakebin"
  cat >"$work/fakebin/xdg-open" <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$1" >>"$MERVIK_TEST_OPENED"
SCRIPT
  chmod +x "$work/fakebin/xdg-open"
}

# write_sample DIR: a small VHDL file, DIR/blink.vhd, with a tab and a comment.
write_sample() {
  mkdir -p "$1"
  cat >"$1/blink.vhd" <<'VHDL'
-- Toggles an LED.
library ieee;
use ieee.std_logic_1164.all;

entity blink is
	port (clk : in std_logic; led : out std_logic);
end entity blink;
VHDL
}

# The title that the shipped resource file gives: the first value after its /TITLE line.
shipped_title() {
  awk '/^\/TITLE/ { want = 1; next }
       /^\// { want = 0 }
       want && $0 !~ /^[ \t]*$/ { sub(/^[ \t]+/, ""); sub(/[ \t\r]+$/, ""); print; exit }' "$1"
}

# run_mervik LABEL DIR PATHDIRS PROGRAM ARG...: runs PROGRAM in DIR with PATH set to the fake
# viewer, then PATHDIRS, then /usr/bin:/bin; in a new session (no terminal, so no key wait) and
# with standard input from /dev/null. Leaves the exit status in $run_status and the console and
# standard output in $work/LABEL.err and $work/LABEL.out.
run_mervik() {
  local label=$1 dir=$2 pathdirs=$3
  shift 3
  run_status=0
  (cd "$dir" && MERVIK_TEST_OPENED="$work/$label.opened" \
     PATH="$work/fakebin:${pathdirs:+$pathdirs:}/usr/bin:/bin" \
     timeout 120 setsid -w "$@" </dev/null >"$work/$label.out" 2>"$work/$label.err") ||
    run_status=$?  # A run that announces its listing has started the viewer: wait for it here, so that no
  # viewer is still writing into $work when the next run starts or $work is removed.
  if grep -q 'Listing file: ' "$work/$label.err"; then opened_path "$label" >/dev/null; fi
}

# opened_path LABEL: the argument the fake viewer of run LABEL received, waiting a little: the
# viewer starts detached and may run after mervik has ended.
opened_path() {
  local i
  for i in $(seq 1 100); do
    [ -s "$work/$1.opened" ] && break
    sleep 0.1
  done
  cat "$work/$1.opened" 2>/dev/null || true
}

# expect_listing LABEL LISTING OPENED: the run LABEL ended with 0, loaded the resource file,
# wrote nothing to standard output, saved LISTING as a PDF with the sample's text and handed
# OPENED to the viewer.
expect_listing() {
  local label=$1 listing=$2 opened=$3 console
  console=$(cat "$work/$label.err")
  [ "$run_status" -eq 0 ] || fail "$label: exit status $run_status; console:"$'\n'"$console"
  case $console in
    *$'\n\nLoading resource file'*) ;;
    *) fail "$label: no \"Loading resource file\" on standard error:"$'\n'"$console" ;;
  esac
  [ ! -s "$work/$label.out" ] || fail "$label: unexpected standard output: $(cat "$work/$label.out")"
  [ -f "$listing" ] || fail "$label: no $listing; console:"$'\n'"$console"
  [ "$(head -c 5 "$listing")" = "%PDF-" ] || fail "$label: $listing is not a PDF"
  if command -v pdftotext >/dev/null; then
    pdftotext "$listing" - | grep -q 'entity blink is' ||
      fail "$label: the listing does not hold the sample's text"
  fi
  local got
  got=$(opened_path "$label")
  [ "$got" = "$opened" ] || fail "$label: viewer opened '$got', expected '$opened'"
}
