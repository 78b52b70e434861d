#!/usr/bin/env bash
# Unpacks the Debian package into a scratch root and runs the installed
# program on $DISPLAY with the installed resource files only: the window
# must carry the title that the main file gives it, and in German the
# German title with a site's edit of the main file.
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
    usr/share/icons/hicolor/scalable/apps/hostpick.svg \
    usr/share/doc/hostpick/examples/hostpick-station.service \
    usr/share/doc/hostpick/examples/xinitrc \
    etc/X11/app-defaults/Hostpick-contrast \
    etc/X11/de/app-defaults/Hostpick etc/X11/ja/app-defaults/Hostpick \
    etc/X11/pt_BR.UTF-8/app-defaults/Hostpick; do
    [ -e "$root/$f" ] || { echo "FAIL: $f not in the package"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libxaw7 ||
    { echo "FAIL: no computed dependency on libxaw7"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q xfonts-base ||
    { echo "FAIL: the fonts of the font sets are not recommended"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q xserver-xephyr ||
    { echo "FAIL: the session mode's nested server is not recommended"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q fonts-dejavu-core ||
    { echo "FAIL: the default face is not recommended"; exit 1; }
dpkg-deb -f "$deb" Suggests | grep -q fonts-noto-cjk ||
    { echo "FAIL: no CJK face is suggested"; exit 1; }
[ -e "$root/etc/X11/app-defaults/Hostpick-2x" ] &&
    { echo "FAIL: the obsolete resource file of scale 2 is shipped"; exit 1; }
for script in preinst postinst postrm; do
    dpkg-deb -I "$deb" "$script" | grep -q \
        'rm_conffile /etc/X11/app-defaults/Hostpick-2x' ||
        { echo "FAIL: $script does not remove the obsolete conffile"; exit 1; }
done
[ "$(dpkg-deb -I "$deb" conffiles | grep -c /etc/X11/)" -eq \
    "$(find "$root/etc/X11" -type f | wc -l)" ] ||
    { echo "FAIL: the resource files are not all conffiles"; exit 1; }
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

# A site's edit of the installed main file, seen through the German one.
echo '*viewport.width: 700' >>"$root/etc/X11/app-defaults/Hostpick"
env -u XUSERFILESEARCHPATH -u XAPPLRESDIR -u XENVIRONMENT LANG=de_DE.UTF-8 \
    XFILESEARCHPATH="$root/etc/X11/%l/%T/%N:$root/etc/X11/%T/%N" \
    "$root/usr/bin/hostpick" &
pid=$!
win=$(timeout 10 xdotool search --sync --onlyvisible --name '^Rechner w' | head -n1) ||
    { echo "FAIL: no window titled from the German resources"; exit 1; }
xdotool getwindowgeometry "$win" | grep -q 'Geometry: 700x' ||
    { echo "FAIL: the site's edit of the main file does not apply in German"; exit 1; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
echo "installed package: 2 passed, 0 failed"
