# Sourced by the scripts: starts a private Xvfb on a free display and stops
# it, by its PID, when the calling script exits.
# start_xvfb [GEOMETRY [XVFB OPTIONS...]]; after it, DISPLAY is exported
# and XVFB_PID is set.
#
# The display is one from :50 up, not the first free one: a nested X
# server that a test starts in a network namespace of its own does not see
# the abstract sockets of this one's displays, would take :0 for free, and
# would replace the socket file of a server there.

start_xvfb() {
    local geometry=${1:-1024x768x24}
    local n i
    shift || true
    for n in $(seq 50 99); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp -noreset "$@" \
            >/dev/null 2>&1 &
        XVFB_PID=$!
        for i in $(seq 100); do
            [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$XVFB_PID" 2>/dev/null &&
                break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
        if kill -0 "$XVFB_PID" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then
            trap stop_xvfb EXIT
            export DISPLAY=":$n"
            return 0
        fi
        stop_xvfb
    done
    echo "Xvfb did not start" >&2
    return 1
}

stop_xvfb() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
