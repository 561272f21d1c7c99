#!/usr/bin/env bash
# Starts the client as a user does, against the real server on the client's fixed ports, and
# signs in through its window: neither on the sign-in page nor on the home page may the
# client have a GL driver or the web engine mapped. Then it opens the settings and clicks
# the privacy link twice: each click opens one more privacy-policy window, 1000 x 560, from a
# process of its own that shows the page, and the client still maps no GL driver. Last the
# client is killed: every privacy-policy process, the web engine's helpers with it, must end
# too, and the client's standard error must hold nothing of theirs. Run on a virtual X server
# (tests/support/with-xvfb), holding the fixed ports alone.
# $1 is the intercom executable, $2 the intercom-server executable.
set -euo pipefail
app=$1
server_app=$2

# shellcheck source=../support/desktop-session.sh
source "$(dirname "$0")/../support/desktop-session.sh"

work=$(mktemp -d)
server=
client=
policies=()
privacy_tree=()
cleanup() {
    end_all "${policies[@]}" "$client" "$server"
    end_all -KILL "${privacy_tree[@]}"
    rm -rf "$work"
}
trap cleanup EXIT

start_fixed_port_server "$server_app" "$work/server.out"
map_user_keys

export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILEIN=$work/microphone.raw
export SDL_DISKAUDIOFILE=$work/speaker.raw
: >"$SDL_DISKAUDIOFILEIN"
"$app" 2>"$work/stderr" &
client=$!

fail() {
    echo "$1" >&2
    cat "$work/stderr" >&2
    exit 1
}

window=$(window_of "$client") || fail "the client showed no window"

# A GL driver (Mesa's DRI drivers and its GLX vendor library) or the web engine in a process.
gl_and_web_engine() {
    awk '{ print $6 }' "/proc/$1/maps" | grep -E '_dri\.so|libGLX_mesa|libQt6WebEngine' |
        sort -u || true
}

loaded=$(gl_and_web_engine "$client")
[ -z "$loaded" ] || fail "the sign-in page has mapped: $loaded"

sign_in "$window" "$zhang_wei_keys" 123456
wait_connected 1 || fail "the client did not reach the home page"
loaded=$(gl_and_web_engine "$client")
[ -z "$loaded" ] || fail "the home page has mapped: $loaded"

# The 1047 x 560 window: 设置 at the top right, the settings' privacy link at the bottom
# right, underlined in its blue.
xdotool mousemove --window "$window" 975 37 click 1
link_shown=
for _ in $(seq 1 100); do
    # Counted, not grep -q: an early exit would fail the pipe.
    blue=$(import -window "$window" -crop 100x30+930+505 -depth 8 txt:- 2>/dev/null |
        grep -ci '#00A0F8' || true)
    if [ "$blue" -gt 0 ]; then
        link_shown=1
        break
    fi
    sleep 0.1
done
[ -n "$link_shown" ] || fail "the settings did not show the privacy link"

# The mapped privacy-policy windows: "id WxH pid", one a line.
policy_windows() {
    xwininfo -root -children 2>/dev/null |
        awk '/"intercom-privacy-policy" "intercom"/ { print $1 }' |
        while read -r id; do
            info=$(xwininfo -id "$id")
            grep -q 'Map State: IsViewable' <<<"$info" || continue
            echo "$id $(awk '/ Width:/ { w = $2 } / Height:/ { h = $2 } END { print w "x" h }' \
                <<<"$info") $(xdotool getwindowpid "$id" 2>/dev/null || echo none)"
        done
}

wait_for_policies() {
    for _ in $(seq 1 300); do
        [ "$(policy_windows | wc -l)" -ge "$1" ] && return 0
        sleep 0.1
    done
    fail "$1 privacy-policy window(s) did not appear: $(policy_windows)"
}

# The first window opens over the link; the client's window is brought back on top for the
# second click, as a user would. A privacy window can map itself again while its web engine
# starts, back on top, so the click waits until the pointer is over the client's window.
click_link() {
    for _ in $(seq 1 300); do
        xdotool windowraise "$window"
        xdotool mousemove --window "$window" 979 521
        if [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" = "$window" ]; then
            xdotool click 1
            return 0
        fi
        sleep 0.1
    done
    fail "the client's window stayed below the privacy policy"
}
click_link
wait_for_policies 1
click_link
wait_for_policies 2
sleep 1
shown=$(policy_windows)
echo "privacy-policy windows (id, size, process):"
echo "$shown"
[ "$(wc -l <<<"$shown")" -eq 2 ] || fail "two clicks opened other than two windows"
while read -r id size pid; do
    [ "$size" = 1000x560 ] || fail "a privacy-policy window is $size"
    [ "$pid" != none ] && [ "$pid" != "$client" ] || fail "window $id is not from a process of its own"
    policies+=("$pid")
    # The page is drawn: dark text on the page's white. The windows overlap, so each is
    # looked at on top.
    xdotool windowraise "$id"
    drawn=
    for _ in $(seq 1 300); do
        if [ "$(import -window "$id" png:- 2>/dev/null | convert - -colorspace gray \
            -threshold 50% -format '%[fx:minima] %[fx:maxima]' info: 2>/dev/null)" = "0 1" ]; then
            drawn=1
            break
        fi
        sleep 0.1
    done
    [ -n "$drawn" ] || fail "window $id shows no page"
done <<<"$shown"
[ "${policies[0]}" != "${policies[1]}" ] || fail "both windows are from one process"

loaded=$(gl_and_web_engine "$client")
[ -z "$loaded" ] || fail "with the privacy policy open, the client has mapped: $loaded"
echo "the client maps no GL driver; each click opened the privacy policy in a process of its own"

# The privacy-policy processes and every process that they started (the web engine's
# helpers), taken while the client still holds them.
descendants() {
    local child
    for child in $(pgrep -P "$1" || true); do
        echo "$child"
        descendants "$child"
    done
}
for pid in "${policies[@]}"; do
    # shellcheck disable=SC2207
    privacy_tree+=("$pid" $(descendants "$pid"))
done
echo "privacy-policy processes and their helpers: ${privacy_tree[*]}"

# Still running: neither gone nor a zombie that nobody reaps. The state follows the name,
# which may hold blanks and brackets, in /proc/PID/stat.
running() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}
kill -KILL "$client"
wait "$client" 2>/dev/null || true
client=
left=("${privacy_tree[@]}")
for _ in $(seq 1 300); do
    still=()
    for pid in "${left[@]}"; do
        if running "$pid"; then
            still+=("$pid")
        fi
    done
    left=("${still[@]}")
    [ "${#left[@]}" -eq 0 ] && break
    sleep 0.1
done
if [ "${#left[@]}" -gt 0 ]; then
    ps -o pid,ppid,stat,args -p "$(IFS=,; echo "${left[*]}")" >&2 || true
    fail "the killed client's privacy-policy processes live on"
fi
[ -z "$(policy_windows)" ] || fail "privacy-policy windows are still up: $(policy_windows)"
# SDL's disk driver, which stands in for the sound card here, announces itself there; all
# else would be the web engine's notes or a failure.
if grep -v '^CRITICAL: ' "$work/stderr" >&2; then
    fail "the client's standard error holds more than SDL's notes"
fi
echo "killing the client ended its privacy-policy processes, and its standard error stayed clear"
