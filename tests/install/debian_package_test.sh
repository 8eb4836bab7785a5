#!/usr/bin/env bash
# The Debian package: cpack builds it from the build directory, its control names the libhpdf
# runtime package, it holds the program, the resource file and the man page under /usr owned
# by root, and the program unpacked from it runs and finds its resource file.
# Usage: debian_package_test.sh BUILD_DIR SOURCE_DIR
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed: not a Debian system"
make_workdir package
make_fake_viewer

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $work/out: ${debs[*]}"
deb=${debs[0]}

# Control fields.
[ "$(dpkg-deb -f "$deb" Package)" = mervik ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
arch=$(dpkg --print-architecture)
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] ||
  fail "Architecture: $(dpkg-deb -f "$deb" Architecture), expected $arch"
version=$(dpkg-deb -f "$deb" Version)
want=$(sed -n 's/^project(mervik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$version" = "$want" ] || fail "Version: $version, expected $want"

# The runtime package of the libhpdf we linked; Debian 12 calls it libhpdf-2.3.0.
hpdf=$(sed -n 's/^HPDF_LIBRARY:FILEPATH=//p' "$build/CMakeCache.txt")
runtime=$(dpkg-query -S "$(readlink -f "$hpdf")" 2>/dev/null | sed -n '1s/[:,].*//p' || true)
depends=$(dpkg-deb -f "$deb" Depends)
if [ -n "$runtime" ]; then
  [[ ", $depends," =~ ,\ $runtime[\ ,] ]] || fail "Depends does not name $runtime: $depends"
else
  [[ ", $depends," =~ ,\ libhpdf-[0-9][^\ ,]*[\ ,] ]] ||
    fail "Depends names no libhpdf runtime package: $depends"
fi
[[ $depends != *libhpdf-dev* ]] || fail "Depends names the development package: $depends"

# Contents: the files, whole, and their owner.
dpkg-deb -c "$deb" >"$work/contents"
files=$(awk '$1 !~ /^d/ { print $6 }' "$work/contents" | sort)
expected=$'./usr/bin/mervik\n./usr/bin/mervik.rsc\n./usr/share/man/man1/mervik.1'
[ "$files" = "$expected" ] || fail "package files:"$'\n'"$files"$'\n'"expected:"$'\n'"$expected"
owners=$(awk '{ print $2 }' "$work/contents" | sort -u)
[ "$owners" = "root/root" ] || fail "owners in the package: $owners"
grep -q '^-rwxr-xr-x .* \./usr/bin/mervik$' "$work/contents" || fail "usr/bin/mervik not mode 755"
grep -q '^-rw-r--r-- .* \./usr/bin/mervik.rsc$' "$work/contents" || fail "mervik.rsc not mode 644"

# Unpacked into a root of its own and run by absolute path.
dpkg-deb -x "$deb" "$work/root"
write_sample "$work/src"
run_mervik unpacked "$work" "" "$work/root/usr/bin/mervik" "$work/src/blink.vhd"
expect_listing unpacked "$work/src/listing.pdf" "$work/src/listing.pdf"

echo "debian package: ok"
