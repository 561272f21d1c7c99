#!/usr/bin/env bash
# The real client, signed in through its window, talks into a microphone that stops
# delivering: SDL's disk driver reads it from a FIFO whose writer goes quiet, so SDL's
# capture thread waits inside its read for good, as on a sound server whose source stalls.
# Ending the talk must leave the window answering (the talk button repaints as idle), and
# SIGTERM must still end the client with status 0, all while the capture stays stuck. Run on
# a virtual X server (tests/support/with-xvfb) with the fixed ports alone.
# $1 is the intercom executable, $2 the intercom-server executable.
set -euo pipefail
app=$1
server_app=$2

# shellcheck source=../support/desktop-session.sh
source "$(dirname "$0")/../support/desktop-session.sh"

work=$(mktemp -d)
server=
client=
cleanup() {
    # Closing the writer ends the FIFO, which frees the capture thread.
    exec 3>&- || true
    end_all -KILL "$client" "$server"
    rm -rf "$work"
}
trap cleanup EXIT

start_fixed_port_server "$server_app" "$work/server.out"
map_user_keys

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

window=$(window_of "$client")
sign_in "$window" "$zhang_wei_keys" 123456
wait_connected 1 || {
    cat "$work/stderr" >&2
    exit 1
}

# True while a thread of the client waits in a read of an empty pipe: the stuck capture.
capture_stuck() {
    grep -qs 'pipe_read' /proc/"$client"/task/*/wchan
}

xdotool windowmove --sync "$window" 0 0
sleep 0.3
xdotool mousemove --window "$window" "${speak_first[@]}" click 1
wait_colour "$window" "${speak_first[@]}" "$speak_selected"
double_click "$window" "${talk_button[@]}"
wait_colour "$window" "${talk_button[@]}" "$talking" || {
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
double_click "$window" "${talk_button[@]}"
for _ in $(seq 1 100); do
    [ "$(colour_at "$window" "${talk_button[@]}")" != "$talking" ] && break
    sleep 0.1
done
# A window that does not answer still gets its signal tried below.
failed=
if [ "$(colour_at "$window" "${talk_button[@]}")" = "$talking" ]; then
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
end_with_signal "$client" TERM || {
    cat "$work/stderr" >&2
    exit 1
}
client=
echo "SIGTERM ended the client with status 0 after $((($(date +%s%N) - signalled) / 1000000)) ms" \
    "while its capture was stuck"
[ -z "$failed" ]
