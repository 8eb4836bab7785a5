#!/usr/bin/env bash
# The Debian package: cpack builds it, it depends on the libhpdf runtime, holds the program,
# the resource file and the man page under /usr owned by root, and the program unpacked from it
# runs and finds its resource file.
# Usage: debian_package_test.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed: not a Debian system"
make_workdir package
make_fake_viewer

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
deb=$(echo "$work"/out/*.deb)
[ -f "$deb" ] || fail "expected one .deb in $work/out: $deb"

# It needs the libhpdf runtime package (Debian 12: libhpdf-2.3.0), never the development one.
depends=$(dpkg-deb -f "$deb" Depends)
[[ ", $depends," =~ ,\ libhpdf-[0-9][^\ ,]*[\ ,] ]] || fail "Depends names no libhpdf runtime: $depends"
[[ $depends != *libhpdf-dev* ]] || fail "Depends names the development package: $depends"

# The files, whole: mode, owner and path.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort | tr '\n' ';')
[ "$files" = "-rw-r--r-- root/root ./usr/bin/mervik.rsc;-rw-r--r-- root/root ./usr/share/man/man1/mervik.1;-rwxr-xr-x root/root ./usr/bin/mervik;" ] ||
  fail "package files: $files"

# Unpacked into a root of its own and run by absolute path.
dpkg-deb -x "$deb" "$work/root"
write_sample "$work/src"
run_mervik unpacked "$work" "" "$work/root/usr/bin/mervik" "$work/src/blink.vhd"
expect_listing unpacked "$work/src/listing.pdf" "$work/src/listing.pdf" "Loading resource file"

echo "debian package: ok"
