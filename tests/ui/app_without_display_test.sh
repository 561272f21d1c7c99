#!/usr/bin/env bash
# Runs the client where no display can be reached. --help and --version must answer on
# standard output and exit 0 without starting anything else: no window, no hand-over to a
# running client, no sound. Without them, the client and the privacy policy's program must
# each say in one line which display they could not open and exit with status 1.
# $1 is the intercom executable, $2 the intercom-privacy-policy executable, $3 the version.
set -euo pipefail
app=$1
privacy_app=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$1" >&2
    for output in stdout stderr; do
        echo "its $output:" >&2
        cat "$work/$output" >&2 || true
    done
    exit 1
}

# A display number on which no X server listens.
free_display=
for number in $(seq 61000 61100); do
    if [ ! -e "/tmp/.X11-unix/X$number" ]; then
        free_display=:$number
        break
    fi
done
[ -n "$free_display" ] || fail "no free display number"

# run PROGRAM [ARGS...]: runs it with no display of any kind but the X display $display (none
# when empty); its status goes to `status`.
run() {
    local x_display=(-u DISPLAY)
    if [ -n "$display" ]; then
        x_display=(DISPLAY="$display")
    fi
    rm -rf "$work/runtime" "$work/config" "$work/speaker.raw"
    mkdir -m 700 "$work/runtime"
    status=0
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "${x_display[@]}" \
        XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
        SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/speaker.raw" \
        "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
}

display=
for option in --version --help; do
    run "$app" "$option"
    [ "$status" -eq 0 ] || fail "intercom $option ended with status $status"
    [ ! -s "$work/stderr" ] || fail "intercom $option wrote to standard error"
    [ -z "$(ls -A "$work/runtime")" ] || fail "intercom $option looked for a running client"
    [ ! -e "$work/speaker.raw" ] || fail "intercom $option opened the sound"
done
run "$app" --version
[ "$(cat "$work/stdout")" = "intercom $version" ] || fail "--version does not say intercom $version"
run "$app" --help
grep -q -- '--version' "$work/stdout" || fail "--help does not name --version"
echo "--help and --version answer without a display"

for display in "" "$free_display"; do
    if [ -n "$display" ]; then
        tried="DISPLAY=$display"
    else
        tried="DISPLAY not set"
    fi
    for program in "$app" "$privacy_app"; do
        name=$(basename "$program")
        run "$program"
        [ "$status" -eq 1 ] || fail "$name without a display ended with status $status"
        [ "$(cat "$work/stderr")" = "$name: no display could be opened ($tried)" ] ||
            fail "$name without a display did not say so in one line"
        [ ! -s "$work/stdout" ] || fail "$name wrote to standard output"
    done
    echo "without a display ($tried) both programs say so and exit with status 1"
done
