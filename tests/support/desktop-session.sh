# What the whole-process tests and the whole-client benchmark do as a user would, on a
# virtual X server (tests/support/with-xvfb): start the stand-in server on the client's fixed
# ports, find a client's window, sign in through it, wait for the home page, read a colour off
# the screen and stop a client with a signal. Sourced, not run.

# end_all [-SIGNAL] PID...: signals every process (SIGTERM unless named), then waits for each,
# for a script's clean-up; a pid that has already gone, or an empty one, is passed over.
end_all() {
    local signal=-TERM pid
    case ${1:-} in -*)
        signal=$1
        shift
        ;;
    esac
    for pid in "$@"; do
        if [ -n "$pid" ]; then
            kill "$signal" "$pid" 2>/dev/null || true
        fi
    done
    for pid in "$@"; do
        if [ -n "$pid" ]; then
            wait "$pid" 2>/dev/null || true
        fi
    done
}

# start_fixed_port_server SERVER_APP LOG: starts the server with its demo data on ports 8001
# and 6001; its pid goes to `server`. Fails when it could not take those ports.
start_fixed_port_server() {
    "$1" >"$2" 2>&1 &
    server=$!
    for _ in $(seq 1 100); do
        grep -q '^signalling ' "$2" && break
        sleep 0.1
    done
    grep -q '^signalling 6001$' "$2" || {
        echo "the server did not start on the fixed ports" >&2
        cat "$2" >&2
        return 1
    }
}

# map_user_keys: the demo users' names are not on the keyboard, so each of their characters
# (张伟李娜, named by code point so that the shell's locale does not matter) gets a spare key
# code of its own before any client starts, and typing it is one plain key press; xdotool's
# own remapping races the client's reading of the new map and loses characters.
zhang_wei_keys="U5F20 U4F1F"
li_na_keys="U674E U5A1C"
map_user_keys() {
    local keycode=200 keysym
    for keysym in $zhang_wei_keys $li_na_keys; do
        xmodmap -e "keycode $keycode = $keysym"
        keycode=$((keycode + 1))
    done
}

# window_of PID: the visible window of the client with this pid, once it is mapped.
window_of() {
    local id
    for _ in $(seq 1 300); do
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

# sign_in WINDOW KEYSYMS PASSWORD: fills in the sign-in window and presses Return; KEYSYMS is
# the name as a list of keysyms (see map_user_keys), PASSWORD plain ASCII.
sign_in() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    # The window is mapped before the client has given its name field the focus.
    sleep 0.5
    xdotool key --clearmodifiers ctrl+a BackSpace
    # Word splitting turns the list into one key press each.
    # shellcheck disable=SC2086
    xdotool key --delay 60 $2
    xdotool key Tab ctrl+a BackSpace
    xdotool type --delay 60 "$3"
    xdotool key Return
}

# wait_connected UID: the home page has opened its signalling connection once the server can
# push to the user (a harmless "chat list changed").
wait_connected() {
    for _ in $(seq 1 300); do
        if curl -s -d uid="$1" -d type=73 -d payload= http://127.0.0.1:8001/admin/push |
            grep -q '"code":1'; then
            return 0
        fi
        sleep 0.1
    done
    echo "user $1 did not reach the home page" >&2
    return 1
}

# wait_listening GROUP UID: waits until the server has the user among the group's listeners
# (in the demo data's scene), from when on it relays the group's voice to the user.
wait_listening() {
    for _ in $(seq 1 300); do
        if curl -s -d id="$1" -d sceneId=1 http://127.0.0.1:8001/api/groupListenUsers |
            grep -q "\"id\":$2,"; then
            return 0
        fi
        sleep 0.1
    done
    echo "user $2 is not among the listeners of group $1" >&2
    return 1
}

# Where the controls are in the 1047 x 560 window, at a point that shows the button's colour
# rather than its title or icon: the first button of each channel row (导演组 in the demo
# data) and the round talk button, with the colours they show when selected or talking.
listen_first=(40 110)
speak_first=(40 240)
talk_button=(416 491)
listen_selected=0966ac
speak_selected=ee3b3e
talking=2fb344

# double_click WINDOW X Y: a double click at a point of the window. The client counts two
# presses as one double click by the times the X server gives them, which must differ and be
# within the double-click interval. xdotool's repeated click sleeps three times between the
# presses, and on a busy machine it can wake too late; here one short sleep lies between them.
double_click() {
    xdotool mousemove --window "$1" "$2" "$3" mousedown 1 mouseup 1 sleep 0.02 mousedown 1 \
        mouseup 1
}

# colour_at WINDOW X Y: the colour (rrggbb) that the window shows at a point.
colour_at() {
    import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -1 | tr 'A-F' 'a-f'
}

# wait_colour WINDOW X Y RRGGBB: waits up to 10 s for the window to show that colour there.
wait_colour() {
    local seen=
    for _ in $(seq 1 100); do
        seen=$(colour_at "$1" "$2" "$3")
        [ "$seen" = "$4" ] && return 0
        sleep 0.1
    done
    echo "expected #$4 at $2,$3, the window shows #$seen" >&2
    return 1
}

# wait_ended PID WHAT: waits for the process to end after WHAT (a signal, a key), which must
# end it with status 0. How soon it ends is a figure for the benchmarks, not a verdict here: a
# busy machine can take seconds. Only a process that has not ended after a minute is taken as
# hung and left to the caller's clean-up.
wait_ended() {
    local status=0
    for _ in $(seq 1 600); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$1" 2>/dev/null; then
        echo "$2 did not end process $1: it hangs" >&2
        return 1
    fi
    wait "$1" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$2 ended process $1 with status $status" >&2
        return 1
    fi
}

# end_with_signal PID SIGNAL: sends the signal and waits for the process to end (wait_ended).
end_with_signal() {
    kill -s "$2" "$1"
    wait_ended "$1" "SIG$2"
}
