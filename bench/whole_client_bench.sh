#!/usr/bin/env bash
# The whole client as a user meets it, on a virtual X server of its own, with the real
# stand-in server on the client's fixed ports (8001, 6001: nothing else may hold them):
#   - start to the sign-in window on screen (5 starts),
#   - the login key press to the home page showing its groups (5 sign-ins),
#   - resident memory of two clients idle on the home page, and whether either has a GL
#     driver or the web engine mapped,
#   - the mouth-to-ear delay from one client to the other through the server (clicks fed to
#     the talker's microphone file, found in the listener's speaker file, SDL's disk driver),
#   - resident memory while talking for TALK_MINUTES (default 10; 0.5 for a short run).
# Run by hand after a build: bench/whole_client_bench.sh [TALK_MINUTES]
# (INTERCOM_BENCH_KEEP=1 keeps the sound files and logs; INTERCOM_BUILD names the build.)
# INTERCOM_BENCH_AUDIO=pulse runs both clients on a PulseAudio daemon of the benchmark's own
# instead: each client plays to a null sink of its own, the listener's is recorded from its
# monitor, and the talker's microphone file is fed in real time into a pipe source, from its
# start each time a capture opens, as the disk driver reads it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${INTERCOM_BUILD:-$root/build}
if [ -z "${INTERCOM_BENCH_ON_XVFB:-}" ]; then
    exec "$root/tests/support/with-xvfb" env INTERCOM_BENCH_ON_XVFB=1 "$0" "$@"
fi
talk_minutes=${1:-10}
audio=${INTERCOM_BENCH_AUDIO:-disk}
case $audio in disk | pulse) ;; *)
    echo "INTERCOM_BENCH_AUDIO is disk or pulse" >&2
    exit 2
    ;;
esac
app=$build/src/intercom
probe=$build/bench/whole_client_probe
pcm_tool=$build/tests/pcm_tool

# shellcheck source=../tests/support/desktop-session.sh
source "$root/tests/support/desktop-session.sh"
# shellcheck source=../tests/support/pulse-session.sh
source "$root/tests/support/pulse-session.sh"

work=$(mktemp -d)
server=
declare -A pid_of
watcher=
cleanup() {
    # shellcheck disable=SC2086 # the pulse pids are a list
    end_all "${pid_of[@]}" "$watcher" "$server" $pulse_pids "$pulse_daemon"
    if [ -n "${INTERCOM_BENCH_KEEP:-}" ]; then
        echo "files kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

start_fixed_port_server "$build/server/intercom-server" "$work/server.out"
map_user_keys

# The daemon, the listener's recorded speaker and the talker's paced microphone.
if [ "$audio" = pulse ]; then
    pulse=$work/pulse
    mkdir -p "$work/zhang" "$work/li"
    # The speakers at the clients' own rate; the microphone as a sound card records, so
    # that the pipe source hands on 10.7 ms at a time (its pipe's 4096 bytes).
    modules=()
    for name in zhang li; do
        pipe_source="load-module module-pipe-source source_name=${name}_microphone"
        pipe_source+=" file=$pulse/$name.fifo rate=48000 channels=2 format=float32le"
        modules+=("$(null_sink "${name}_speaker")" "$pipe_source")
    done
    start_pulse "$pulse" "${modules[@]}"
    # The pacer counts the record streams that open: the recording of the speaker is not one.
    record_sink li_speaker "$work/li/speaker.raw"
    pactl subscribe >"$pulse/events" &
    pulse_pids="$pulse_pids $!"
    "$probe" pace "$pulse/zhang.fifo" "$work/zhang/microphone.raw" "$pulse/events" \
        "$work/zhang/first-read" &
    pulse_pids="$pulse_pids $!"
fi

# audio_env NAME: the sound devices of NAME's client.
audio_env() {
    if [ "$audio" = pulse ]; then
        echo "SDL_AUDIODRIVER=pulseaudio PULSE_SINK=$1_speaker PULSE_SOURCE=$1_microphone"
    else
        echo "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=$work/$1/microphone.raw" \
            "SDL_DISKAUDIOFILE=$work/$1/speaker.raw"
    fi
}

now_ns() { date +%s%N; }
ms_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

# start_client NAME: a client with a folder of its own; its pid goes to pid_of[NAME].
start_client() {
    local home=$work/$1
    mkdir -p "$home/config" "$home/runtime"
    chmod 700 "$home/runtime"
    [ -e "$home/microphone.raw" ] || : >"$home/microphone.raw"
    # shellcheck disable=SC2046
    env XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=xcb \
        $(audio_env "$1") "$app" 2>>"$home/stderr" &
    pid_of[$1]=$!
}

# Polled without a pause, unlike the tests' own: the start is timed to the window's mapping.
window_of() {
    local id=
    for _ in $(seq 1 3000); do
        id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
    done
    echo "client $1 showed no window" >&2
    return 1
}

quit_client() {
    local window status=0
    window=$(window_of "${pid_of[$1]}")
    xdotool windowraise "$window"
    xdotool windowfocus --sync "$window"
    xdotool key ctrl+q
    wait "${pid_of[$1]}" || status=$?
    pid_of[$1]=
    [ "$status" -eq 0 ] || { echo "$1 ended with status $status" >&2; exit 1; }
}

# sign_in NAME KEYSYMS: types the user (once; later starts have it filled in), presses
# Return and prints how long the home page took to show its groups: the first listen
# button's title turning up white.
sign_in() {
    local window x y started shown
    window=$(window_of "${pid_of[$1]}")
    xdotool windowraise "$window"
    xdotool windowfocus --sync "$window"
    sleep 0.5
    if [ -n "$2" ]; then
        xdotool key --clearmodifiers ctrl+a BackSpace
        # shellcheck disable=SC2086
        xdotool key --delay 60 $2
        xdotool key Tab ctrl+a BackSpace
        xdotool type --delay 60 123456
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    x=$((X + 50))
    y=$((Y + 128))
    XDG_RUNTIME_DIR=$work/$1/runtime "$probe" bright "$x" "$y" 80 22 10000 >"$work/shown" &
    local watching=$!
    sleep 1
    started=$(now_ns)
    xdotool key Return
    wait "$watching"
    shown=$(cat "$work/shown")
    ms_between "$started" "$shown"
}

echo "starting and signing in 5 times..." >&2
: >"$work/start.ms"
: >"$work/login.ms"
for run in 1 2 3 4 5; do
    started=$(now_ns)
    start_client zhang
    window_of "${pid_of[zhang]}" >/dev/null
    ms_between "$started" "$(now_ns)" >>"$work/start.ms"
    echo >>"$work/start.ms"
    keys=
    [ "$run" -eq 1 ] && keys=$zhang_wei_keys
    sign_in zhang "$keys" >>"$work/login.ms"
    echo >>"$work/login.ms"
    [ "$run" -lt 5 ] && quit_client zhang
done
start_client li
sign_in li "U674E U5A1C" >/dev/null

sleep 5
idle_zhang=$(rss_mb "${pid_of[zhang]}")
idle_li=$(rss_mb "${pid_of[li]}")
# What a GL driver (Mesa's DRI drivers, its GLX vendor library) or the web engine would
# have mapped into either idle client.
gl_mapped=$(cat "/proc/${pid_of[zhang]}/maps" "/proc/${pid_of[li]}/maps" | awk '{ print $6 }' |
    grep -E '_dri\.so|libGLX_mesa|libQt6WebEngine' | sort -u | xargs -r -n1 basename |
    tr '\n' ' ' || true)

zhang_window=$(window_of "${pid_of[zhang]}")
li_window=$(window_of "${pid_of[li]}")
click_at() {
    xdotool windowraise "$1"
    sleep 0.3
    xdotool mousemove --window "$1" "$2" "$3" click "${@:4}"
}
# 李娜 listens to 导演组, 张伟 talks to it (the first button of each row).
click_at "$li_window" 40 110 1
sleep 1
click_at "$zhang_window" 40 240 1
sleep 1
talk() {
    xdotool windowraise "$zhang_window"
    sleep 0.3
    double_click "$zhang_window" 416 491
}

echo "measuring the mouth-to-ear delay over 10 talks..." >&2
talks=10
"$probe" flushes "$work/li/speaker.raw" $((talks * 4 + 10)) >"$work/flushes" &
watcher=$!
sleep 1
: >"$work/delay.ms"
for talk_index in $(seq 1 $talks); do
    # The click sits at a different place in its 40 ms period each time.
    lead=$((4800 + talk_index * 37 % 320))
    rm -f "$work/zhang/microphone.raw" "$work/zhang/first-read"
    "$probe" click "$work/zhang/microphone.raw" "$lead"
    from=$(($(stat -c %s "$work/li/speaker.raw") / 2))
    talk
    sleep 1.6
    talk
    sleep 0.6
    if [ "$audio" = pulse ]; then
        # The pacer notes when it wrote the file's first 10 ms.
        first_read=$(cat "$work/zhang/first-read")
    else
        # The microphone file's access time is its first read: the capture's first period.
        first_read=$(date -d "$(stat -c %x "$work/zhang/microphone.raw")" +%s%N)
    fi
    cp "$work/zhang/microphone.raw" "$work/click-$talk_index.raw"
    echo "$first_read $from" >"$work/talk-$talk_index"
done
sleep 2
kill "$watcher" 2>/dev/null || true
wait "$watcher" 2>/dev/null || true
watcher=
# The pacer hands over 10 ms at a time, and the null sink starts 10 ms blocks.
periods="320 320"
audio_name="SDL's disk driver"
if [ "$audio" = pulse ]; then
    periods="80 80"
    audio_name=PulseAudio
fi
for talk_index in $(seq 1 $talks); do
    read -r first_read from <"$work/talk-$talk_index"
    # shellcheck disable=SC2086
    "$probe" delay "$work/click-$talk_index.raw" "$first_read" "$work/li/speaker.raw" "$from" \
        "$work/flushes" $periods >>"$work/delay.ms" || true
done

echo "talking for $talk_minutes minutes..." >&2
"$pcm_tool" phrase "the quick brown fox jumps over the lazy dog" "$work/phrase.raw" 200 300
talk_seconds=$(awk -v m="$talk_minutes" 'BEGIN { printf "%d", m * 60 }')
phrase_bytes=$(stat -c %s "$work/phrase.raw")
rm -f "$work/zhang/microphone.raw"
copies=$((talk_seconds * 16000 / phrase_bytes + 2))
for _ in $(seq 1 $copies); do cat "$work/phrase.raw"; done >"$work/zhang/microphone.raw"
talk
step=$((talk_seconds / 10))
[ "$step" -ge 1 ] || step=1
: >"$work/talk.rss"
elapsed=0
while [ "$elapsed" -lt "$talk_seconds" ]; do
    sleep "$step"
    elapsed=$((elapsed + step))
    echo "$elapsed $(rss_mb "${pid_of[zhang]}") $(rss_mb "${pid_of[li]}")" >>"$work/talk.rss"
done
talk
sleep 1

quit_client li
quit_client zhang

start_median=$(median <"$work/start.ms")
start_max=$(sort -n "$work/start.ms" | tail -1)
login_median=$(median <"$work/login.ms")
login_max=$(sort -n "$work/login.ms" | tail -1)
delay_count=$(wc -l <"$work/delay.ms")
delay_median=$(median <"$work/delay.ms")
delay_min=$(sort -n "$work/delay.ms" | head -1)
delay_max=$(sort -n "$work/delay.ms" | tail -1)
read -r _ first_zhang first_li <<<"$(head -1 "$work/talk.rss")"
read -r _ last_zhang last_li <<<"$(tail -1 "$work/talk.rss")"
growth() { awk -v a="$1" -v b="$2" 'BEGIN { d = b - a; printf "%+.1f MB (%+.1f%%)", d, 100 * d / a }'; }

cat <<EOF
| measure | result | aim |
|---|---|---|
| start to sign-in window on screen (5 starts) | median $start_median ms, max $start_max ms | under 500 ms |
| login key to home page with its groups (5 sign-ins) | median $login_median ms, max $login_max ms | |
| resident memory idle on the home page | talker $idle_zhang MB, listener $idle_li MB | under 60 MB |
| GL driver or web engine mapped, idle on the home page | ${gl_mapped:-none} | none |
| mouth-to-ear through the server, $audio_name ($delay_count of $talks clicks found) | median $delay_median ms, min $delay_min, max $delay_max | within 10 ms of the floor, 200 ms |
| resident memory talking $talk_minutes min, first tenth to end | talker $first_zhang to $last_zhang MB ($(growth "$first_zhang" "$last_zhang")), listener $first_li to $last_li MB ($(growth "$first_li" "$last_li")) | no growth |
EOF
echo "memory while talking (seconds, talker MB, listener MB):"
cat "$work/talk.rss"
echo "delays (ms): $(tr '\n' ' ' <"$work/delay.ms")"
