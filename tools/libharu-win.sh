#!/usr/bin/env bash
# Builds libharu for 64-bit Windows from Debian's source package: one static library
# (OUT/prefix/lib/libhpdfs.a and its headers), with mingw's zlib and without PNG support.
# Usage: tools/libharu-win.sh OUT. Does nothing when OUT/prefix already holds the library.
#
# The source comes through apt-get with a deb-src list of its own under OUT, made from the
# machine's Debian sources, so the machine's apt configuration is never changed. Only the
# upstream tarball is used, and only after its checksum matches the one in the .dsc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
prefix=$out/prefix
[ -f "$prefix/lib/libhpdfs.a" ] && [ -f "$prefix/include/hpdf.h" ] && exit 0

apt=$out/apt
rm -rf "$apt" "$out/source" "$out/build"
mkdir -p "$apt/lists/partial" "$apt/sources.list.d" "$apt/cache/archives/partial" "$out/source"

# Every Debian stanza of the machine's deb822 sources, as deb-src. A stanza counts as Debian's
# when the Debian archive keyring signs it.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -e "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /debian-archive-keyring/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
done >"$apt/sources.list.d/debian-src.sources"
if [ ! -s "$apt/sources.list.d/debian-src.sources" ]; then
  echo "libharu-win: no Debian source in /etc/apt/sources.list.d/*.sources to fetch from" >&2
  exit 1
fi

opts=(-o "Dir::Etc::SourceList=$apt/sources.list.d/none.list"
      -o "Dir::Etc::SourceParts=$apt/sources.list.d"
      -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
      -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
apt-get "${opts[@]}" -qq update
# Debian's own diff may be missing from the mirror (apt then exits 100); it is not used.
(cd "$out/source" && apt-get "${opts[@]}" -qq source --download-only libharu) ||
  echo "libharu-win: apt-get source exited $?; going on with the upstream tarball"

dsc=$(ls "$out"/source/libharu_*.dsc 2>/dev/null | head -n 1)
[ -n "$dsc" ] || { echo "libharu-win: no libharu .dsc was downloaded" >&2; exit 1; }
# The orig tarball's line of the .dsc's Checksums-Sha256 field: " <sha256> <size> <name>".
read -r sum _ tarball < <(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
                              on && $3 ~ /\.orig\.tar\./ { print; exit }' "$dsc")
[ -n "${tarball:-}" ] && [ -f "$out/source/$tarball" ] ||
  { echo "libharu-win: the upstream tarball named in $dsc was not downloaded" >&2; exit 1; }
echo "$sum  $out/source/$tarball" | sha256sum --quiet -c - ||
  { echo "libharu-win: $tarball does not match the checksum in $(basename "$dsc")" >&2; exit 1; }

mkdir -p "$out/source/tree"
tar -xf "$out/source/$tarball" -C "$out/source/tree" --strip-components=1
# Debian's build calls itself 2.3.0, not the tarball's 2.3.0RC2 (the one change its diff makes
# to the code). The version is the PDF's Producer entry: the same text keeps the Windows
# build's PDFs byte for byte the Linux build's.
sed -i -e 's/^#define HPDF_EXTRA_VERSION "RC2"$/#define HPDF_EXTRA_VERSION ""/' \
       -e 's/^#define HPDF_VERSION_TEXT "2.3.0RC2"$/#define HPDF_VERSION_TEXT "2.3.0"/' \
       "$out/source/tree/include/hpdf_version.h"
mingw=/usr/x86_64-w64-mingw32
log=$out/build.log
# The library's own warnings are its business: they go to the log, shown only on failure.
{
  cmake -S "$out/source/tree" -B "$out/build" -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DLIBHPDF_SHARED=OFF -DLIBHPDF_STATIC=ON \
    -DLIBHPDF_EXAMPLES=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
    -DZLIB_INCLUDE_DIR="$mingw/include" -DZLIB_LIBRARY="$mingw/lib/libz.a" &&
    cmake --build "$out/build" -j "${JOBS:-2}" && cmake --install "$out/build"
} >"$log" 2>&1 || { cat "$log" >&2; echo "libharu-win: build failed" >&2; exit 1; }
# The configured header is not among the installed ones.
cp "$out/build/include/hpdf_config.h" "$prefix/include/"
echo "libharu-win: $prefix/lib/libhpdfs.a from $tarball (sha256 checked against $(basename "$dsc"))"
