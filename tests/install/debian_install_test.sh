#!/usr/bin/env bash
# The Debian package installed (then purged): /etc/mervik/mervik.rsc is read unless a local
# install's or the user's file comes first. RUN_SERIAL: every other run would read that file.
source "$(dirname "$0")/lib.sh"

command -v dpkg >/dev/null || skip "dpkg is not installed: not a Debian system"
[ "$(id -u)" -eq 0 ] || skip "dpkg -i needs root"
installed() { dpkg-query -W mervik &>/dev/null || [ -e /etc/mervik ] || [ -e /usr/bin/mervik ]; }
installed && skip "a mervik is already on this machine; it is left alone"
make_workdir debian-install
make_fake_viewer
build_package

# dpkg does not wait for its lock, which another install may hold a while.
dpkg_waiting() {
  for _ in $(seq 1 60); do
    "$@" >"$work/dpkg.log" 2>&1 && return 0
    grep -q lock "$work/dpkg.log" || break
    sleep 10
  done
  cat "$work/dpkg.log" >&2 && return 1
}
purge() {
  local status=$?
  set +e
  dpkg_waiting dpkg --purge mervik || status=1
  installed && echo "FAIL: the purge left mervik behind" >&2 && status=1
  (exit $status); remove_workdir; exit $status
}
trap purge EXIT
dpkg_waiting dpkg -i "$deb" || fail "dpkg -i failed"
conffiles=$(dpkg-query -W -f='${Conffiles}' mervik)
[ "$(echo "$conffiles" | awk '{ print $1 }')" = /etc/mervik/mervik.rsc ] ||
  fail "conffiles: $conffiles"

# try_run LABEL PROGRAM FROM: lists blink.vhd in $work/LABEL; the resource file read is FROM.
try_run() {
  write_sample "$work/$1"
  run_mervik "$1" "$work/$1" "" "$2" blink.vhd
  expect_listing "$1" "$work/$1/listing.pdf" listing.pdf \
    "Loading resource file  :  $4"$'\n'"   from $3"$'\n'".. format"
}
try_run installed mervik /etc/mervik/mervik.rsc "VHDL listing"
pdftotext "$work/installed/listing.pdf" - | grep -q 'Reserved words' ||
  fail "the listing has no class of the shipped resource file"
install_prefix "$work/prefix"
try_run local "$work/prefix/bin/mervik" "$work/prefix/etc/mervik/mervik.rsc" "VHDL listing"
mkdir -p "$work/xdg/mervik"
printf '/TITLE\nmine\n/FORMAT\n4\n80\n' >"$work/xdg/mervik/mervik.rsc"
xdg=$work/xdg try_run user mervik "$work/xdg/mervik/mervik.rsc" mine

echo "debian install: ok"
