#!/usr/bin/env bash
# Installed into a prefix, run by its path or bare name, mervik reads the prefix's resource file.
source "$(dirname "$0")/lib.sh"

make_workdir install
make_fake_viewer
prefix=$work/prefix
install_prefix "$prefix"
files=$(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')
[ "$files" = "./bin/mervik ./etc/mervik/mervik.rsc ./share/doc/mervik/changelog.gz ./share/doc/mervik/copyright ./share/man/man1/mervik.1.gz " ] ||
  fail "installed files: $files"
cmp -s "$prefix/etc/mervik/mervik.rsc" "$src/examples/mervik.rsc" || fail "etc/mervik/mervik.rsc differs"

mkdir -p "$work/lonely/bin" && cp "$prefix/bin/mervik" "$work/lonely/bin/mervik"

# try_run LABEL PROGRAM PATHDIRS CONSOLE: lists blink.vhd in $work/LABEL, showing CONSOLE.
try_run() {
  write_sample "$work/$1"
  run_mervik "$1" "$work/$1" "$3" "$2" blink.vhd
  expect_listing "$1" "$work/$1/listing.pdf" listing.pdf "$4"
}
installed="Loading resource file  :  VHDL listing"$'\n'"   from $prefix/etc/mervik/mervik.rsc"
try_run absolute "$prefix/bin/mervik" "" "$installed"
# By bare name through PATH: argv[0] has no directory, the executable's own does.
try_run bare mervik "$prefix/bin" "$installed"
# A copy outside the prefix finds none: the runs above read nothing else on this machine.
try_run lonely mervik "$work/lonely/bin" "No resource file"

echo "installed run: ok"
