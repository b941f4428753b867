# Shared part of the end-to-end tests: a private X server with a window
# manager, the simulated meter on a pseudo-terminal, the real program on it,
# and helpers that drive it the way a user does (xdotool) and look at what
# the X server shows (xdotool, xprop, import). Sourced by each test script.
#
# Environment (set by ctest): BREVANE, BREVANE_METER_SIM (the two binaries),
# E2E_ARTIFACTS (folder for screenshots and logs; one sub-folder per test).
# Every wait has a deadline, so a test fails instead of hanging.

set -u
E2E_NAME=$(basename "$0" .sh)
E2E_OUT="${E2E_ARTIFACTS:-/tmp/brevane-e2e}/$E2E_NAME"
rm -rf "$E2E_OUT"
mkdir -p "$E2E_OUT"
E2E_TMP=$(mktemp -d)
E2E_PIDS=()
E2E_FAILED=0
# The distribution's interpreter: a shim in front of another one may take
# seconds to start on a busy machine.
E2E_PYTHON=$(command -v /usr/bin/python3 || command -v python3)

e2e_log() { echo "[$E2E_NAME] $*"; }

e2e_cleanup() {
    local pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

e2e_fail() {
    e2e_log "FAIL: $*"
    e2e_shot "failure"
    E2E_FAILED=1
    exit 1
}

# e2e_require [tool...]: the tools every test needs, and those named.
e2e_require() {
    local tool
    for tool in Xvfb openbox xdotool xprop import "$E2E_PYTHON" "$BREVANE" "$BREVANE_METER_SIM" "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { e2e_log "SKIP: $tool is missing"; exit 77; }
    done
}

# A free display chosen by the X server itself, then the window manager.
e2e_start_x() {
    exec 5>"$E2E_TMP/display"
    Xvfb -displayfd 5 -screen 0 1400x900x24 -nolisten tcp >"$E2E_OUT/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    exec 5>&-
    local i
    for i in $(seq 1 50); do
        [ -s "$E2E_TMP/display" ] && break
        sleep 0.1
    done
    [ -s "$E2E_TMP/display" ] || e2e_fail "the X server did not start"
    export DISPLAY=":$(head -n1 "$E2E_TMP/display")"
    openbox >"$E2E_OUT/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    for i in $(seq 1 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
        sleep 0.1
    done
    e2e_fail "the window manager did not start"
}

# The simulated meter on a pseudo-terminal; its path is its first line.
e2e_start_meter() {
    "$BREVANE_METER_SIM" --pty "$@" >"$E2E_TMP/meter.out" 2>"$E2E_OUT/meter.err" &
    E2E_METER_PID=$!
    E2E_PIDS+=($E2E_METER_PID)
    local i
    for i in $(seq 1 50); do
        E2E_PTY=$(head -n1 "$E2E_TMP/meter.out" 2>/dev/null)
        [ -n "$E2E_PTY" ] && [ -e "$E2E_PTY" ] && return 0
        sleep 0.1
    done
    e2e_fail "the simulated meter gave no terminal"
}

e2e_stop_meter() {
    kill "$E2E_METER_PID" 2>/dev/null
    wait "$E2E_METER_PID" 2>/dev/null
}

# The program in a folder of its own, so that its settings and Log folder
# (kept beside the executable) belong to this test alone.
e2e_start_program() {
    E2E_PROG_DIR="$E2E_TMP/prog"
    mkdir -p "$E2E_PROG_DIR"
    cp "$BREVANE" "$E2E_PROG_DIR/brevane"
    # The theme file beside the program, as the build and the package lay it
    # out; without it the windows fall back to the platform's colours.
    [ -d "$(dirname "$BREVANE")/theme" ] && cp -r "$(dirname "$BREVANE")/theme" "$E2E_PROG_DIR/"
    export HOME="$E2E_TMP/home" XDG_RUNTIME_DIR="$E2E_TMP/run" QT_QPA_PLATFORM=xcb
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    "$E2E_PROG_DIR/brevane" --port "$E2E_PTY" >"$E2E_OUT/brevane.log" 2>&1 &
    E2E_PROGRAM_PID=$!
    E2E_PIDS+=($E2E_PROGRAM_PID)
}

# e2e_wait_window <title regex> [seconds]: prints the window id of a mapped
# window whose title matches.
e2e_wait_window() {
    local deadline=$((SECONDS + ${2:-15})) id
    while [ $SECONDS -le $deadline ]; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# e2e_wait_gone <title regex> [seconds]: true once no window of that title is shown.
e2e_wait_gone() {
    local deadline=$((SECONDS + ${2:-5}))
    while [ $SECONDS -le $deadline ]; do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# The client size of a window: sets E2E_W and E2E_H.
e2e_geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=/E2E_W=/p; s/^HEIGHT=/E2E_H=/p')"
}

# e2e_click <window> <x> <y>: a left click at a point of the window's client area.
e2e_click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# The windows the window manager stacks, bottom to top, as decimal ids.
e2e_stacking() {
    xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g' | tr ' ' '\n' | grep . |
        while read -r hex; do printf '%d\n' "$hex"; done
}

# e2e_is_above <window> <other>: true when window is stacked above other.
# Both are given as xdotool prints them (decimal); a toolkit window may be
# a child of the frame the manager stacks, so parents are compared too.
e2e_is_above() {
    local list pos_a pos_b
    list=$(e2e_stacking)
    pos_a=$(echo "$list" | grep -n -x "$1" | cut -d: -f1)
    pos_b=$(echo "$list" | grep -n -x "$2" | cut -d: -f1)
    [ -n "$pos_a" ] && [ -n "$pos_b" ] && [ "$pos_a" -gt "$pos_b" ]
}

# e2e_react <window> --click x,y --watch x,y,w,h [--still x,y,w,h] ...:
# clicks each point of the window in turn and prints, one line per click,
# the milliseconds until the watched rectangle showed the answer, "timeout"
# after 5 s or "disturbed" (see e2e_react.py).
e2e_react() {
    local win=$1
    shift
    "$E2E_PYTHON" "$(dirname "${BASH_SOURCE[0]}")/e2e_react.py" "$win" --timeout 5000 "$@"
}

# e2e_message <title regex> <seconds> <shot>: waits for a message box,
# keeps its picture (Qt hands its text to no other X client, so the picture
# is the record of what it said) and closes it with Enter.
e2e_message() {
    local box
    box=$(e2e_wait_window "$1" "$2") || return 1
    sleep 0.3
    e2e_shot "$3"
    xdotool windowactivate --sync "$box" key Return
    e2e_wait_gone "$1" 5
}

e2e_shot() {
    [ -n "${DISPLAY:-}" ] && import -window root "$E2E_OUT/$1.png" 2>/dev/null
    return 0
}

e2e_pass() {
    e2e_shot "end"
    e2e_log "PASS"
    exit 0
}
