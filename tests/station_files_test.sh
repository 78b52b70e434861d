#!/usr/bin/env bash
# The station's example files as a site would use them: the unit passes
# systemd-analyze verify, and its command, and the xinit line, run with
# Xvfb standing in for the X server and the build's hostpick for the
# installed one, in a network namespace of their own with loopback alone.
# hostpick's window must cover the screen; the unit's command must end
# with hostpick's status (a failure, for systemd to start it again) and
# with 0 after Leave.
#   tests/station_files_test.sh SOURCE_DIR HOSTPICK
set -euo pipefail
source_dir=$1
hostpick=$2
unit=$source_dir/doc/examples/hostpick-station.service
line=$source_dir/doc/examples/xinitrc
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

systemd-analyze verify --man=no "$unit"

n=0
for n in $(seq 120 160); do [ -e "/tmp/.X$n-lock" ] || break; done
# Leave bound to q, as a site would bind it.
printf 'Hostpick*paned.translations: #override <Key>q: Leave()\n' \
    >"$scratch/resources"
export XENVIRONMENT=$scratch/resources
export XFILESEARCHPATH=$source_dir/app-defaults/%N

# What systemd runs: its escapes undone ("\\" and "$$"), the X server and
# the paths replaced.
command=$(sed -n "s/^ExecStart=\/bin\/sh -c '\(.*\)'$/\1/p" "$unit" |
    sed -e 's/\\\\/\\/g' -e 's/\$\$/$/g' \
        -e "s#/usr/bin/hostpick#$hostpick#" \
        -e "s#/usr/bin/X :7 vt7#/usr/bin/Xvfb :$n -screen 0 1280x800x24#" \
        -e "s#/run/hostpick-station#$scratch#g")
[ -n "$command" ] || { echo "FAIL: no ExecStart in $unit"; exit 1; }

# The hostpick among the processes under `pid`.
hostpick_under() {
    local pid child
    for child in $(pgrep -P "$1"); do
        if [ "$(readlink "/proc/$child/exe")" = "$(readlink -f "$hostpick")" ]; then
            echo "$child"
            return
        fi
        hostpick_under "$child"
    done
}

# Runs "$@" in a namespace of its own; waits for hostpick's window on :n
# and checks that it covers the screen; then ends hostpick by `how`
# ("q": the key bound to Leave; "kill": SIGTERM) and prints the status.
try() {
    local how=$1 status=0
    shift
    unshare --net "$@" >/dev/null 2>&1 &
    local runner=$!
    pids+=("$runner")
    local win
    win=$(DISPLAY=:$n timeout 20 sh -c \
        'until xdotool search --onlyvisible --name "^Pick a host$" 2>/dev/null; do sleep 0.1; done' |
        head -n1) || { echo "FAIL: no window from: $*"; exit 1; }
    DISPLAY=:$n xdotool getwindowgeometry "$win" | grep -q 'Geometry: 1280x800' ||
        { echo "FAIL: the window does not cover the screen"; exit 1; }
    if [ "$how" = q ]; then
        # The X server goes with hostpick, and xdotool may see it go.
        DISPLAY=:$n xdotool key --window "$win" q 2>/dev/null || true
    else
        kill -TERM "$(hostpick_under "$runner")"
    fi
    wait "$runner" || status=$?
    echo "$status"
}

[ "$(try kill sh -c "$command")" -ne 0 ] ||
    { echo "FAIL: the unit's command hides hostpick's failure"; exit 1; }
[ "$(try q sh -c "$command")" -eq 0 ] ||
    { echo "FAIL: the unit's command fails after Leave"; exit 1; }
xinit_line=$(grep '^xinit ' "$line" |
    sed -e "s#/usr/bin/hostpick#$hostpick#" \
        -e "s#/usr/bin/X :7 vt7#/usr/bin/Xvfb :$n -screen 0 1280x800x24#")
try q sh -c "$xinit_line" >/dev/null
echo "station files: 4 passed, 0 failed"
