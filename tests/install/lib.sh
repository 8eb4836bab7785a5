# Shared by the install tests: a temporary directory per test, a fake viewer, a sample source,
# and one run of an installed mervik checked the way a user would look at it.
# Sourced by the *_test.sh scripts, which CTest starts with the build and the source directory.

set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Exit status that CTest reports as "skipped" (SKIP_RETURN_CODE in CMakeLists.txt).
skip() {
  echo "SKIP: $*" >&2
  exit 77
}

# make_workdir NAME: a fresh directory in $work, removed when the script succeeds and left
# behind, its path printed, when it fails.
make_workdir() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/mervik-$1.XXXXXX")
  trap 'rc=$?; if [ $rc -eq 0 ]; then rm -rf "$work"; else echo "kept for inspection: $work" >&2; fi' EXIT
}

# A fake xdg-open in $work/fakebin that appends its argument to $work/opened.
make_fake_viewer() {
  mkdir -p "$work/fakebin"
  cat >"$work/fakebin/xdg-open" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$1" >>'$work/opened'
SCRIPT
  chmod +x "$work/fakebin/xdg-open"
}

# write_sample DIR: a small VHDL file, DIR/blink.vhd, with a tab and a comment.
write_sample() {
  mkdir -p "$1"
  printf '%s\n' \
    '-- Toggles an LED.' \
    'library ieee;' \
    'use ieee.std_logic_1164.all;' \
    '' \
    'entity blink is' \
    '	port (clk : in std_logic; led : out std_logic);' \
    'end entity blink;' >"$1/blink.vhd"
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
  rm -f "$work/opened"
  run_status=0
  (cd "$dir" && PATH="$work/fakebin:${pathdirs:+$pathdirs:}/usr/bin:/bin" \
     timeout 120 setsid -w "$@" </dev/null >"$work/$label.out" 2>"$work/$label.err") ||
    run_status=$?
}

# The argument the fake viewer received, waiting a little: the viewer starts detached and may
# run after mervik has ended.
opened_path() {
  local i
  for i in $(seq 1 100); do
    [ -s "$work/opened" ] && break
    sleep 0.1
  done
  cat "$work/opened" 2>/dev/null || true
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
  got=$(opened_path)
  [ "$got" = "$opened" ] || fail "$label: viewer opened '$got', expected '$opened'"
}
