#!/usr/bin/env bash
# Installs the build into a scratch prefix and starts the installed client from there on a
# virtual X display: it must find every data file and the privacy policy's program in the
# prefix (it says on stderr which one it misses), show its icon, and be listed by a valid
# desktop entry. Run under a virtual X server (tests/support/with-xvfb); $1 is cmake, $2 the
# build folder.
set -euo pipefail
cmake=$1
build=$2

work=$(mktemp -d)
client=
stop_client() {
    if [ -n "$client" ]; then
        kill "$client" 2>/dev/null || true
        wait "$client" 2>/dev/null || true
        client=
    fi
}
cleanup() {
    local status=$?
    stop_client
    if [ "$status" -ne 0 ] && [ -s "$work/stderr" ]; then
        echo "the client's standard error:" >&2
        cat "$work/stderr" >&2
    fi
    rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

for file in bin/intercom bin/intercom-privacy-policy bin/intercom-server \
    share/applications/intercom.desktop \
    share/icons/hicolor/scalable/apps/intercom.svg; do
    [ -f "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
# Every data file of the build tree (tones, pages) goes to the data folder.
shopt -s nullglob
for file in "$build"/resources/*.wav "$build"/resources/*.html; do
    name=$(basename "$file")
    [ -f "$prefix/share/intercom/$name" ] || { echo "data file not installed: $name" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/intercom.desktop"
grep -qx 'Exec=intercom' "$prefix/share/applications/intercom.desktop"
grep -qx 'Icon=intercom' "$prefix/share/applications/intercom.desktop"

export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

# The id of the client's mapped window, once it is there.
client_window() {
    for _ in $(seq 1 300); do
        for id in $(xwininfo -root -children 2>/dev/null | awk '/"intercom" "intercom"/ {print $1}'); do
            if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    echo "no window appeared" >&2
    return 1
}

# Starts the installed client from outside the build tree and waits for its window.
start_client() {
    (cd "$work" && exec "$prefix/bin/intercom") 2>"$work/stderr" &
    client=$!
    window=$(client_window)
}

start_client
if grep 'is missing' "$work/stderr"; then
    exit 1
fi
# The icon may be set just after the window is mapped.
has_icon() {
    for _ in $(seq 1 100); do
        xprop -id "$window" _NET_WM_ICON | grep -q '=' && return 0
        sleep 0.1
    done
    return 1
}
if ! has_icon; then
    echo "the window has no icon" >&2
    exit 1
fi
stop_client

# A data file or the privacy program taken out of the prefix is reported: the client looked
# for them there.
rm "$prefix/share/intercom/call_bee.wav" "$prefix/bin/intercom-privacy-policy"
start_client
stop_client
for missing in "call_bee.wav is missing from $prefix/share/intercom" \
    "program $prefix/bin/intercom-privacy-policy is missing"; do
    if ! grep -qF "$missing" "$work/stderr"; then
        echo "unreported: $missing" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
done
echo "installed client finds its data files and the privacy policy's program in $prefix"
