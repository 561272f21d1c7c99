#!/usr/bin/env bash
# Two real clients and the real server on the client's fixed ports, driven as a person
# would: each client signs in through its window (typed with xdotool, then Return) and
# quits with Ctrl+Q, ending with status 0. Each client has a configuration folder and
# SDL disk-driver files of its own. Run under xvfb-run, holding the fixed ports alone.
# $1 is the intercom executable, $2 the intercom-server executable.
set -euo pipefail
app=$1
server_app=$2

work=$(mktemp -d)
server=
clients=()
cleanup() {
    for pid in "${clients[@]}" $server; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

"$server_app" >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 1 100); do
    grep -q '^signalling ' "$work/server.out" && break
    sleep 0.1
done
grep -q '^signalling 6001$' "$work/server.out" || {
    echo "the server did not start on the fixed ports" >&2
    cat "$work/server.out" >&2
    exit 1
}

# The visible window of the client with this pid, once it is mapped.
window_of() {
    for _ in $(seq 1 300); do
        local id
        id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "client $1 showed no window" >&2
    return 1
}

# The users' names are not on the keyboard: each of their characters (张伟李娜, named by
# code point so that the shell's locale does not matter) gets a spare key code of its own
# before any client starts, so that typing it is one plain key press; xdotool's own
# remapping races the client's reading of the new map and loses characters.
keycode=200
for keysym in U5F20 U4F1F U674E U5A1C; do
    xmodmap -e "keycode $keycode = $keysym"
    keycode=$((keycode + 1))
done

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

# sign_in PID NAME PASSWORD: fills in the sign-in window and presses Return; NAME is a
# list of keysyms, PASSWORD plain ASCII.
sign_in() {
    local window
    window=$(window_of "$1")
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    # The window is mapped before the client has given its field the focus.
    sleep 0.5
    # The name field has the focus when the window opens.
    xdotool key --clearmodifiers ctrl+a BackSpace
    # Word splitting turns the list into one key press each.
    # shellcheck disable=SC2086
    xdotool key --delay 60 $2
    xdotool key Tab ctrl+a BackSpace
    xdotool type --delay 60 "$3"
    xdotool key Return
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
sign_in "${clients[0]}" "U5F20 U4F1F" 123456
wait_signed_in zhang 张伟

start_client li
sign_in "${clients[1]}" "U674E U5A1C" 123456
wait_signed_in li 李娜

for index in 0 1; do
    window=$(window_of "${clients[index]}")
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key ctrl+q
    status=0
    wait "${clients[index]}" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "client ${clients[index]} ended with status $status" >&2
        exit 1
    fi
    clients[index]=
done
echo "both clients signed in through their windows and quit cleanly"
