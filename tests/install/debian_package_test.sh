#!/usr/bin/env bash
# The Debian package: no lintian error, the libhpdf runtime as dependency, its files and conffile.
source "$(dirname "$0")/lib.sh"

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed: not a Debian system"
make_workdir package
build_package

# The runtime package (Debian 12: libhpdf-2.3.0), never the development one.
depends=$(dpkg-deb -f "$deb" Depends)
[[ ", $depends," =~ ,\ libhpdf-[0-9][^\ ,]*[\ ,] ]] || fail "Depends names no libhpdf runtime: $depends"
[[ $depends != *libhpdf-dev* ]] || fail "Depends names the development package: $depends"

# The files, whole: mode, owner and path; nothing in /usr/bin but the program.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort | tr '\n' ';')
[ "$files" = "-rw-r--r-- root/root ./etc/mervik/mervik.rsc;-rw-r--r-- root/root ./usr/share/doc/mervik/changelog.gz;-rw-r--r-- root/root ./usr/share/doc/mervik/copyright;-rw-r--r-- root/root ./usr/share/man/man1/mervik.1.gz;-rwxr-xr-x root/root ./usr/bin/mervik;" ] ||
  fail "package files: $files"
[ "$(dpkg-deb -I "$deb" conffiles)" = /etc/mervik/mervik.rsc ] || fail "conffiles: $(dpkg-deb -I "$deb" conffiles)"

# Errors only: warnings and notes are left to judgement.
command -v lintian >/dev/null || fail "lintian is not installed (tools/deps.sh installs it)"
lintian "$deb" >"$work/lintian.txt" 2>&1 || true
! grep '^E: ' "$work/lintian.txt" || fail "lintian finds errors"

echo "debian package: ok"
