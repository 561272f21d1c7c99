#!/usr/bin/env bash
# Starts the client on a virtual X display with its audio up (SDL's disk driver), then stops
# it with SIGTERM, and a second one with SIGINT: each must end with status 0, as after its quit
# action. Run on a virtual X server (tests/support/with-xvfb); $1 is the intercom executable.
set -euo pipefail
app=$1

work=$(mktemp -d)
client=
cleanup() {
    if [ -n "$client" ]; then
        kill -KILL "$client" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=xcb
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE=/dev/null
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

wait_for_window() {
    for _ in $(seq 1 300); do
        if xwininfo -root -children 2>/dev/null | grep -q '"intercom" "intercom"'; then
            return 0
        fi
        sleep 0.1
    done
    echo "no window appeared" >&2
    return 1
}

# shellcheck source=../support/desktop-session.sh
source "$(dirname "$0")/../support/desktop-session.sh"

for signal in TERM INT; do
    "$app" &
    client=$!
    wait_for_window
    end_with_signal "$client" "$signal"
    client=
    echo "SIG$signal: ended with status 0"
done
