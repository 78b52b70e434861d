# Sourced by the scripts: starts a private Xvfb on a free display and stops
# it, by its PID, when the calling script exits.
# After start_xvfb: DISPLAY is exported and XVFB_PID is set.

start_xvfb() {
    local geometry=${1:-1024x768x24}
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -noreset \
        3>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    trap stop_xvfb EXIT
    local i
    for i in $(seq 100); do
        [ -s "$fdfile" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
}

stop_xvfb() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
