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

# The home page has opened its signalling connection once the server can push to the user.
wait_connected() {
    for _ in $(seq 1 300); do
        if curl -s -d uid="$2" -d type=73 -d payload= http://127.0.0.1:8001/admin/push |
            grep -q '"code":1'; then
            return 0
        fi
        sleep 0.1
    done
    echo "$1 did not reach the home page" >&2
    cat "$work/$1/stderr" >&2
    return 1
}

# Where the controls are in the 1047 x 560 window, at a point that shows the button's colour
# rather than its title or icon: the first button of each channel row (导演组 in the demo
# data) and the round talk button.
listen_first=(40 110)
speak_first=(40 240)
talk_button=(416 491)

# The colour (rrggbb) that the window shows at a point.
colour_at() {
    import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -1 | tr 'A-F' 'a-f'
}

# wait_colour NAME WINDOW X Y RRGGBB: what the user sees there turns that colour.
wait_colour() {
    local seen=
    for _ in $(seq 1 100); do
        seen=$(colour_at "$2" "$3" "$4")
        [ "$seen" = "$5" ] && return 0
        sleep 0.1
    done
    import -window "$2" "$work/$1-screen.png" 2>/dev/null || true
    echo "$1: expected #$5 at $3,$4, the window shows #$seen" >&2
    return 1
}

wait_connected zhang 1
wait_connected li 2
zhang_window=$(window_of "${clients[0]}")
li_window=$(window_of "${clients[1]}")

# Side by side, as far as the screen allows: the controls used below stay uncovered, so the
# pointer reaches them and their pixels are on screen whichever window is on top.
xdotool windowmove --sync "$zhang_window" 0 0
xdotool windowmove --sync "$li_window" 553 340
sleep 0.3
# A click selects once the double-click interval has passed: blue on the listen row.
xdotool mousemove --window "$li_window" "${listen_first[@]}" click 1
wait_colour li "$li_window" "${listen_first[@]}" 0966ac

# The microphone file is read from its start when capture opens, at the talk's start: the
# phrase comes after a second of silence, well after the talk has begun.
"$pcm_tool" phrase "the quick brown fox jumps over the lazy dog" "$work/phrase.raw" 1000 2000
cp "$work/phrase.raw" "$work/zhang/microphone.raw"

xdotool mousemove --window "$zhang_window" "${speak_first[@]}" click 1
wait_colour zhang "$zhang_window" "${speak_first[@]}" ee3b3e
xdotool mousemove --window "$zhang_window" "${talk_button[@]}" click --repeat 2 --delay 100 1
wait_colour zhang "$zhang_window" "${talk_button[@]}" 2fb344
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
