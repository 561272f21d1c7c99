#!/usr/bin/env bash
# The real client, signed in through its window, talks into a microphone that stops
# delivering: SDL's disk driver reads it from a FIFO whose writer goes quiet, so SDL's
# capture thread waits inside its read for good, as on a sound server whose source stalls.
# Ending the talk must leave the window answering (the talk button repaints as idle), and
# SIGTERM must still end the client within 2 s with status 0, all while the capture stays
# stuck. Run on a virtual X server (tests/support/with-xvfb) with the fixed ports alone.
# $1 is the intercom executable, $2 the intercom-server executable.
set -euo pipefail
app=$1
server_app=$2

work=$(mktemp -d)
server=
client=
cleanup() {
    # Closing the writer ends the FIFO, which frees the capture thread.
    exec 3>&- || true
    for pid in $client $server; do
        kill -KILL "$pid" 2>/dev/null || true
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

# 张伟 is not on the keyboard: each character gets a spare key code of its own (see
# two_clients_test.sh for why xdotool's own remapping is not used).
xmodmap -e "keycode 200 = U5F20" -e "keycode 201 = U4F1F"

# Opened for reading and writing, the FIFO needs no reader to be there yet: the capture's
# open finds a writer, and reads a quarter of a second of sound before it waits for good.
mkfifo "$work/microphone.fifo"
exec 3<>"$work/microphone.fifo"
head -c 4000 /dev/zero >&3

mkdir -p "$work/config"
mkdir -m 700 "$work/runtime"
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb \
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=$work/microphone.fifo \
    SDL_DISKAUDIOFILE=$work/speaker.raw "$app" 2>"$work/stderr" &
client=$!

window=
for _ in $(seq 1 300); do
    window=$(xdotool search --onlyvisible --pid "$client" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || {
    echo "the client showed no window" >&2
    exit 1
}
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
# The window is mapped before the client has given its name field the focus.
sleep 0.5
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool key --delay 60 U5F20 U4F1F
xdotool key Tab ctrl+a BackSpace
xdotool type --delay 60 123456
xdotool key Return

# The home page has its signalling connection once the server can push to the user.
connected=
for _ in $(seq 1 300); do
    if curl -s -d uid=1 -d type=73 -d payload= http://127.0.0.1:8001/admin/push |
        grep -q '"code":1'; then
        connected=yes
        break
    fi
    sleep 0.1
done
[ -n "$connected" ] || {
    echo "the client did not reach the home page" >&2
    cat "$work/stderr" >&2
    exit 1
}

# The first talk channel (导演组) and the round talk button of the 1047 x 560 window.
speak_first=(40 240)
talk_button=(416 491)
talking=2fb344
colour_at() {
    import -window "$window" -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -1 | tr 'A-F' 'a-f'
}
# True while a thread of the client waits in a read of an empty pipe: the stuck capture.
capture_stuck() {
    grep -qs 'pipe_read' /proc/"$client"/task/*/wchan
}

xdotool windowmove --sync "$window" 0 0
sleep 0.3
xdotool mousemove --window "$window" "${speak_first[@]}" click 1
for _ in $(seq 1 100); do
    [ "$(colour_at "${speak_first[@]}")" = ee3b3e ] && break
    sleep 0.1
done
xdotool mousemove --window "$window" "${talk_button[@]}" click --repeat 2 --delay 100 1
for _ in $(seq 1 100); do
    [ "$(colour_at "${talk_button[@]}")" = "$talking" ] && break
    sleep 0.1
done
[ "$(colour_at "${talk_button[@]}")" = "$talking" ] || {
    echo "the talk did not start" >&2
    exit 1
}
for _ in $(seq 1 100); do
    capture_stuck && break
    sleep 0.1
done
capture_stuck || {
    echo "the capture never waited on the quiet microphone" >&2
    exit 1
}

# Well apart from the double click that started the talk, or it would count as its third
# and fourth press.
sleep 1
xdotool mousemove --window "$window" "${talk_button[@]}" click --repeat 2 --delay 100 1
for _ in $(seq 1 100); do
    [ "$(colour_at "${talk_button[@]}")" != "$talking" ] && break
    sleep 0.1
done
# A window that does not answer still gets its signal tried below.
failed=
if [ "$(colour_at "${talk_button[@]}")" = "$talking" ]; then
    echo "the window did not answer once the talk ended" >&2
    failed=yes
else
    echo "the talk ended and the window answered while the capture was stuck"
fi
capture_stuck || {
    echo "the capture was no longer stuck" >&2
    exit 1
}

signalled=$(date +%s%N)
kill -TERM "$client"
for _ in $(seq 1 20); do
    kill -0 "$client" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$client" 2>/dev/null; then
    echo "SIGTERM did not end the client within 2 s while its capture was stuck" >&2
    exit 1
fi
status=0
wait "$client" || status=$?
client=
if [ "$status" -ne 0 ]; then
    echo "SIGTERM ended the client with status $status" >&2
    cat "$work/stderr" >&2
    exit 1
fi
echo "SIGTERM ended the client with status 0 after $((($(date +%s%N) - signalled) / 1000000)) ms" \
    "while its capture was stuck"
[ -z "$failed" ]
