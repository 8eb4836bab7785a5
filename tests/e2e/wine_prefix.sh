#!/bin/sh
# The Windows tests' Wine prefix, the fake viewer opening .pdf. Usage: WINE PREFIX VIEWER_EXE
set -eu
wine=$1 prefix=$2 viewer=$3
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
unset DISPLAY
[ -f "$prefix/system.reg" ] || "$wine" wineboot --init </dev/null
# Paths as Windows sees them (Wine shows / as drive Z:), backslashes doubled for the .reg file.
windows() { printf 'Z:%s' "$1" | sed 's|/|\\\\|g'; }
cat >"$prefix/fake-viewer.reg" <<REG
REGEDIT4

[HKEY_CLASSES_ROOT\\.pdf]
@="mervik.test.pdf"

[HKEY_CLASSES_ROOT\\mervik.test.pdf\\shell\\open\\command]
@="\\"$(windows "$viewer")\\" \\"%1\\""
REG
"$wine" regedit /S "$(windows "$prefix/fake-viewer.reg" | sed 's|\\\\|\\|g')" </dev/null
