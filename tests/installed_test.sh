#!/usr/bin/env bash
# Unpacks the Debian package into a scratch root and runs the installed
# program on $DISPLAY with the installed resource file only: the window
# must carry the title and label that file gives it.
#   tests/installed_test.sh PACKAGE.deb
set -euo pipefail
deb=$1
root=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

dpkg-deb -x "$deb" "$root"
for f in usr/bin/hostpick etc/X11/app-defaults/Hostpick \
    usr/share/man/man1/hostpick.1.gz usr/share/doc/hostpick/copyright \
    usr/share/applications/hostpick.desktop \
    usr/share/icons/hicolor/scalable/apps/hostpick.svg; do
    [ -e "$root/$f" ] || { echo "FAIL: $f not in the package"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libxaw7 ||
    { echo "FAIL: no computed dependency on libxaw7"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q xfonts-base ||
    { echo "FAIL: the fonts of the font sets are not recommended"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q xserver-xephyr ||
    { echo "FAIL: the session mode's nested server is not recommended"; exit 1; }
desktop-file-validate "$root/usr/share/applications/hostpick.desktop" ||
    { echo "FAIL: the desktop entry is not valid"; exit 1; }
man -l "$root/usr/share/man/man1/hostpick.1.gz" >/dev/null 2>&1 ||
    { echo "FAIL: the man page does not render"; exit 1; }

# The system's search path, moved into the scratch root.
env -u XUSERFILESEARCHPATH -u XAPPLRESDIR -u XENVIRONMENT \
    XFILESEARCHPATH="$root/etc/X11/%T/%N" "$root/usr/bin/hostpick" &
pid=$!
win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Pick a host$' | head -n1) ||
    { echo "FAIL: no window titled from the installed resources"; exit 1; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
echo "installed package: 1 passed, 0 failed"
