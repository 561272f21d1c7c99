#!/usr/bin/env bash
# Two real clients and the real server on the client's fixed ports, driven as a person
# would: each client signs in through its window (typed with xdotool, then Return) and
# reaches the home page; 李娜 clicks 导演组 on the listen row, 张伟 clicks 导演组 on the talk
# row and double-clicks the talk button; a spoken phrase fed to 张伟's microphone comes out
# of 李娜's speaker; both quit with Ctrl+Q, ending with status 0. Each client has a
# configuration folder of its own. 张伟's microphone is a file that SDL's disk driver reads;
# 李娜's speaker is a null sink of a PulseAudio daemon of the test's own, recorded. Run on a
# virtual X server (tests/support/with-xvfb), holding the fixed ports alone.
#
# A busy machine slows the disk driver's clock, which makes the microphone slower, which loses
# nothing, and would make a speaker slower still, whose player then rightly drops the backlog.
# The null sink plays by the wall clock, never slower than the microphone: the player only runs
# dry now and then and fills the wait with digital silence, which the comparison leaves out.
# $1 is the intercom executable, $2 the intercom-server executable, $3 pcm_tool.
set -euo pipefail
app=$1
server_app=$2
pcm_tool=$3

# shellcheck source=../support/desktop-session.sh
source "$(dirname "$0")/../support/desktop-session.sh"
# shellcheck source=../support/pulse-session.sh
source "$(dirname "$0")/../support/pulse-session.sh"

work=$(mktemp -d)
server=
clients=()
cleanup() {
    # shellcheck disable=SC2086 # the pulse pids are a list
    end_all "${clients[@]}" "$server" $pulse_pids "$pulse_daemon"
    rm -rf "$work"
}
trap cleanup EXIT

start_fixed_port_server "$server_app" "$work/server.out"
map_user_keys
start_pulse "$work/pulse" "$(null_sink li_speaker)"
mkdir -p "$work/zhang" "$work/li"
record_sink li_speaker "$work/li/speaker.raw"

# start_client NAME VARIABLE=VALUE...: starts a client for this user with its sound devices
# as the variables say; its folder is $work/NAME.
start_client() {
    local home=$work/$1
    shift
    mkdir -p "$home/config"
    mkdir -m 700 "$home/runtime"
    env XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=xcb \
        "$@" "$app" 2>"$home/stderr" &
    clients+=($!)
}

# wait_read PID FILE OFFSET: waits until the process has read FILE up to OFFSET. The process
# opened FILE before this is called (capture opens as the talk shows), and SDL's disk driver
# closes its microphone file at the file's end: a FILE that the process no longer holds open has
# been read whole, however early a busy machine let it finish. The descriptors are compared by
# the shell itself, with no program started for each.
wait_read() {
    local link offset held
    for _ in $(seq 1 600); do
        held=
        for link in /proc/"$1"/fd/*; do
            if [ "$link" -ef "$2" ]; then
                held=${link##*/}
                break
            fi
        done
        [ -n "$held" ] || return 0
        offset=$(awk '/^pos:/ { print $2 }' /proc/"$1"/fdinfo/"$held" 2>/dev/null || true)
        [ "${offset:-0}" -ge "$3" ] && return 0
        sleep 0.1
    done
    echo "$2 was not read up to byte $3" >&2
    return 1
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

: >"$work/zhang/microphone.raw"
start_client zhang SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN="$work/zhang/microphone.raw" \
    SDL_DISKAUDIOFILE="$work/zhang/speaker.raw"
zhang_window=$(window_of "${clients[0]}")
sign_in "$zhang_window" "$zhang_wei_keys" 123456
wait_signed_in zhang 张伟

start_client li SDL_AUDIODRIVER=pulseaudio PULSE_SINK=li_speaker
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
# A click selects once the double-click interval has passed: blue on the listen row; the
# server relays the group's voice to 李娜 once it has her among the group's listeners.
xdotool mousemove --window "$li_window" "${listen_first[@]}" click 1
wait_colour "$li_window" "${listen_first[@]}" "$listen_selected"
wait_listening 101 2

# The microphone file is read from its start when capture opens, at the talk's start: the
# phrase comes after a second of silence, well after the talk has begun.
"$pcm_tool" phrase "the quick brown fox jumps over the lazy dog" "$work/phrase.raw" 1000 2000
cp "$work/phrase.raw" "$work/zhang/microphone.raw"
phrase_bytes=$(stat -c %s "$work/phrase.raw")

xdotool mousemove --window "$zhang_window" "${speak_first[@]}" click 1
wait_colour "$zhang_window" "${speak_first[@]}" "$speak_selected"
double_click "$zhang_window" "${talk_button[@]}"
wait_colour "$zhang_window" "${talk_button[@]}" "$talking"
# The talk ends once the microphone has been read a second past the phrase's end, however
# slowly a busy machine reads it.
wait_read "${clients[0]}" "$work/zhang/microphone.raw" $((phrase_bytes - 16000))
double_click "$zhang_window" "${talk_button[@]}"
# The phrase has come out once as much voice as lay up to its end has: every sample of the
# talk was voice over the phrase file's noise floor.
spoken=$(((phrase_bytes - 32000) / 2))
for _ in $(seq 1 300); do
    [ "$("$pcm_tool" voiced "$work/li/speaker.raw")" -ge "$spoken" ] && break
    sleep 0.1
done

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
    wait_ended "${clients[index]}" Ctrl+Q || {
        cat "$work"/*/stderr >&2
        exit 1
    }
    clients[index]=
done
echo "both clients signed in through their windows, talked and quit cleanly"
