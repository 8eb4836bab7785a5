#!/usr/bin/env bash
# The manual page: groff reads it without a warning, man renders it, and its resource file
# example gives the console lines it shows.
# Usage: manual_page_test.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/lib.sh"
page=$src/docs/mervik.1

command -v groff >/dev/null || skip "groff is not installed (package groff-base)"
make_workdir manual

groff -man -ww -z "$page" 2>"$work/groff.err" && [ ! -s "$work/groff.err" ] ||
  fail "groff failed or warned:"$'\n'"$(cat "$work/groff.err")"

if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man -l failed: $(cat "$work/man.err")"
  grep -q 'EXIT STATUS' "$work/man.txt" || fail "man -l rendered no EXIT STATUS"
fi

# block NAME: the lines between the page's "NAME-begin" and "NAME-end" comment markers, without
# requests, with the page's escapes undone (only \- and \& may occur there).
block() {
  sed -n "/^\.\\\\\" $1-begin\$/,/^\.\\\\\" $1-end\$/p" "$page" | grep -v '^\.' |
    sed -e 's/\\-/-/g' -e 's/\\&//g'
}
block example-resource >"$work/example.rsc" && block example-console >"$work/example.console"
[ -s "$work/example.rsc" ] && [ -s "$work/example.console" ] || fail "no examples between markers"

# The program under its own name with the example beside it: no file names, no input, so the
# console shows the resource lines and goes straight to the end.
mkdir -p "$work/prog" && ln -s "$build/mervik" "$work/prog/mervik" &&
  cp "$work/example.rsc" "$work/prog/mervik.rsc"
make_fake_viewer
run_mervik example "$work" "" "$work/prog/mervik"
[ "$run_status" -eq 0 ] || fail "example run: exit status $run_status"
# Up to the default table's line, trailing blanks aside.
actual=$(sed -e 's/[ ]*$//' "$work/example.err" | sed -n '1,/(default)$/p')
documented=$(sed -e 's/[ ]*$//' "$work/example.console")
[ "$actual" = "$documented" ] ||
  fail "the console shows:"$'\n'"$actual"$'\n'"the page says:"$'\n'"$documented"

echo "manual page: ok"
