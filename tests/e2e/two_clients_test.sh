#!/usr/bin/env bash
# Two real clients and the real server on the client's fixed ports, driven as a person
# would: each client signs in through its window (typed with xdotool, then Return) and
# reaches the home page; 李娜 clicks 导演组 on the listen row, 张伟 clicks 导演组 on the talk
# row and double-clicks the talk button; a spoken phrase fed to 张伟's microphone comes out
# of 李娜's speaker; both quit with Ctrl+Q, ending with status 0. Each client has a
# configuration folder and SDL disk-driver files of its own. Run on a virtual X server
# (tests/support/with-xvfb), holding the fixed ports alone.
# $1 is the intercom executable, $2 the intercom-server executable, $3 pcm_tool.
set -euo pipefail
app=$1
server_app=$2
pcm_tool=$3

# shellcheck source=../support/desktop-session.sh
source "$(dirname "$0")/../support/desktop-session.sh"

work=$(mktemp -d)
server=
clients=()
cleanup() {
    end_all "${clients[@]}" "$server"
    rm -rf "$work"
}
trap cleanup EXIT

start_fixed_port_server "$server_app" "$work/server.out"
map_user_keys

# start_client NAME: starts a client for this user; its folder is $work/NAME.
start_client() {
    local home=$work/$1
    mkdir -p "$home/config"
    mkdir -m 700 "$home/runtime"
    : >"$home/microphone.raw"
    XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb \
        SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=$home/microphone.raw \
        SDL_DISKAUDIOFILE=$home/speaker.raw \
        "$app" 2>"$home/stderr" &
    clients+=($!)
}

# The client stores the user that the server accepted.
wait_signed_in() {
    for _ in $(seq 1 300); do
        if grep -qF "$2" "$work/$1/config/intercom/defaults.cbor" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    echo "$1 did not sign in" >&2
    cat "$work/$1/stderr" >&2
    return 1
}

start_client zhang
zhang_window=$(window_of "${clients[0]}")
sign_in "$zhang_window" "$zhang_wei_keys" 123456
wait_signed_in zhang 张伟

start_client li
li_window=$(window_of "${clients[1]}")
sign_in "$li_window" "$li_na_keys" 123456
wait_signed_in li 李娜

wait_connected 1
wait_connected 2

# Side by side, as far as the screen allows: the controls used below stay uncovered, so the
# pointer reaches them and their pixels are on screen whichever window is on top.
xdotool windowmove --sync "$zhang_window" 0 0
xdotool windowmove --sync "$li_window" 553 340
sleep 0.3
# A click selects once the double-click interval has passed: blue on the listen row.
xdotool mousemove --window "$li_window" "${listen_first[@]}" click 1
wait_colour "$li_window" "${listen_first[@]}" "$listen_selected"

# The microphone file is read from its start when capture opens, at the talk's start: the
# phrase comes after a second of silence, well after the talk has begun.
"$pcm_tool" phrase "the quick brown fox jumps over the lazy dog" "$work/phrase.raw" 1000 2000
cp "$work/phrase.raw" "$work/zhang/microphone.raw"

xdotool mousemove --window "$zhang_window" "${speak_first[@]}" click 1
wait_colour "$zhang_window" "${speak_first[@]}" "$speak_selected"
xdotool mousemove --window "$zhang_window" "${talk_button[@]}" click --repeat 2 --delay 100 1
wait_colour "$zhang_window" "${talk_button[@]}" "$talking"
phrase_seconds=$(($(stat -c %s "$work/phrase.raw") / 16000 + 1))
sleep "$phrase_seconds"
xdotool mousemove --window "$zhang_window" "${talk_button[@]}" click --repeat 2 --delay 100 1
# The speaker file is written in blocks: the voice has reached it once more silence follows,
# which takes longer on a loaded machine or a sanitizer build.
sleep 4

read -r correlation lag < <("$pcm_tool" match "$work/phrase.raw" "$work/li/speaker.raw")
echo "the phrase reached 李娜's speaker with envelope correlation $correlation (lag $lag samples)"
if ! awk -v c="$correlation" 'BEGIN { exit !(c > 0.9) }'; then
    echo "the phrase did not come out of the listener's speaker (correlation $correlation)" >&2
    exit 1
fi

for index in 0 1; do
    window=$(window_of "${clients[index]}")
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key ctrl+q
    status=0
    wait "${clients[index]}" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "client ${clients[index]} ended with status $status" >&2
        cat "$work"/*/stderr >&2
        exit 1
    fi
    clients[index]=
done
echo "both clients signed in through their windows, talked and quit cleanly"
