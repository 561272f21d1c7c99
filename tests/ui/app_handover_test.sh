#!/usr/bin/env bash
# Starts the client on a virtual X display, checks that it shows its window at no less
# than its minimum size, then starts it again: the second start must hand over to the
# first and end, leaving one window. Run on a virtual X server (tests/support/with-xvfb); $1 is the intercom executable.
set -euo pipefail
app=$1

work=$(mktemp -d)
first=
cleanup() {
    if [ -n "$first" ]; then
        kill "$first" 2>/dev/null || true
        wait "$first" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

# Sizes (WxH) of the client's mapped windows, one a line.
client_windows() {
    xwininfo -root -children 2>/dev/null | awk '/"intercom" "intercom"/ {print $1}' |
        while read -r id; do
            info=$(xwininfo -id "$id")
            if grep -q 'Map State: IsViewable' <<<"$info"; then
                width=$(awk '/ Width:/ {print $2}' <<<"$info")
                height=$(awk '/ Height:/ {print $2}' <<<"$info")
                echo "${width}x${height}"
            fi
        done
}

wait_for_window() {
    for _ in $(seq 1 300); do
        if [ -n "$(client_windows)" ]; then
            return 0
        fi
        sleep 0.1
    done
    echo "no window appeared" >&2
    return 1
}

"$app" &
first=$!
wait_for_window

windows=$(client_windows)
echo "first start: $windows"
[ "$(wc -l <<<"$windows")" -eq 1 ]
width=${windows%x*}
height=${windows#*x}
if [ "$width" -lt 1047 ] || [ "$height" -lt 560 ]; then
    echo "window is ${windows}, smaller than 1047x560" >&2
    exit 1
fi

if ! timeout 30 "$app"; then
    echo "the second start did not hand over and end" >&2
    exit 1
fi
kill -0 "$first"
windows=$(client_windows)
echo "after the second start: $windows"
[ "$(wc -l <<<"$windows")" -eq 1 ]
