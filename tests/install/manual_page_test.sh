#!/usr/bin/env bash
# The manual page: groff reads it without a warning, man renders it, its example holds true.
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

# block NAME: the text between the "NAME-begin" and "NAME-end" markers, escapes (\-, \&) undone.
block() {
  sed -n "/^\.\\\\\" $1-begin\$/,/^\.\\\\\" $1-end\$/p" "$page" | grep -v '^\.' |
    sed -e 's/\\-/-/g' -e 's/\\&//g'
}
block example-resource >"$work/example.rsc" && block example-console >"$work/example.console"
[ -s "$work/example.rsc" ] && [ -s "$work/example.console" ] || fail "no examples between markers"

# With the example beside it and no file names, the console shows the resource lines and ends.
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
