#!/usr/bin/env bash
# Installs into a temporary prefix and runs the installed program the two ways a user starts
# it: by its absolute path and by its bare name through PATH. Both must find the resource file
# installed beside the executable.
# Usage: installed_run_test.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

make_workdir install
make_fake_viewer
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install failed:"$'\n'"$(cat "$work/install.log")"

# The layout, whole: nothing missing, nothing extra.
files=$(cd "$prefix" && find . -type f -o -type l | sort)
expected=$'./bin/mervik\n./bin/mervik.rsc\n./share/man/man1/mervik.1'
[ "$files" = "$expected" ] || fail "installed files:"$'\n'"$files"$'\n'"expected:"$'\n'"$expected"
[ -x "$prefix/bin/mervik" ] || fail "bin/mervik is not executable"
cmp -s "$prefix/bin/mervik.rsc" "$src/examples/mervik.rsc" || fail "bin/mervik.rsc differs from examples/mervik.rsc"

title=$(shipped_title "$src/examples/mervik.rsc")
expect_title() {
  if [ -n "$title" ]; then
    grep -qF "Loading resource file  :  $title" "$work/$1.err" ||
      fail "$1: the shipped title '$title' is not on the console:"$'\n'"$(cat "$work/$1.err")"
  fi
}

# By absolute path, from a directory that holds neither the program nor the source.
write_sample "$work/abs"
run_mervik absolute "$work" "" "$prefix/bin/mervik" "$work/abs/blink.vhd"
expect_listing absolute "$work/abs/listing.pdf" "$work/abs/listing.pdf"
expect_title absolute

# By bare name through PATH: argv[0] has no directory, the executable's own does.
write_sample "$work/bare"
run_mervik bare "$work/bare" "$prefix/bin" mervik blink.vhd
expect_listing bare "$work/bare/listing.pdf" "listing.pdf"
expect_title bare

# Control: the same executable without a resource file beside it finds none, either way it is
# started; so the runs above read the installed one and nothing else on this machine.
mkdir -p "$work/lonely/bin"
cp "$prefix/bin/mervik" "$work/lonely/bin/mervik"
write_sample "$work/control"
run_mervik lonely-absolute "$work/control" "" "$work/lonely/bin/mervik" blink.vhd
run_mervik lonely-bare "$work/control" "$work/lonely/bin" mervik blink.vhd
for label in lonely-absolute lonely-bare; do
  [ "$(opened_path "$label")" = "listing.pdf" ] ||
    fail "$label: the viewer was not handed the listing"
  grep -q 'No resource file' "$work/$label.err" ||
    fail "$label: expected \"No resource file\":"$'\n'"$(cat "$work/$label.err")"
done

echo "installed run: ok"
