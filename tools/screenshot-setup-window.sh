#!/usr/bin/env bash
# Pictures of the setup window as a user sees it: Persian captions, the
# balloon that warns that the configured server is not this computer, and
# the list of servers open with two named instances. Runs the built program
# and sqlemu in a private X server with a window manager.
#
#   tools/screenshot-setup-window.sh [output.png] [build folder]
#
# Defaults: setup-window.png in the current folder, build/debug.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-setup-window.png}")
build=$(realpath "${2:-$root/build/debug}")
caption='Movan Config DataBase 4.0'

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() { # seconds, command...
    local tries=$(($1 * 10)); shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { echo "timed out: $*" >&2; exit 1; }
        sleep 0.1
    done
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for 10 test -s "$work/display"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
pids+=($!)
wait_for 10 xprop -root _NET_SUPPORTING_WM_CHECK

"$build/bin/sqlemu" --data-dir "$work/sqlemu" --port 0 --instance SALES=0 --instance STOCK=0 \
    --sa-password Secret1 >"$work/sqlemu.out" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'sqlemu ready' "$work/sqlemu.out"
port=$(sed -n 's/.*MSSQLSERVER=\([0-9]*\).*/\1/p' "$work/sqlemu.out")

mkdir "$work/app"
cp "$build/bin/movan-config" "$work/app/"
printf '[DataBase]\r\nServer=127.0.0.1,%s\r\nDataBaseName=Tarnel\r\nType=SQL\r\nUser=sa\r\nPass=Secret1\r\n' \
    "$port" >"$work/app/InitPrg.ini"
"$work/app/movan-config" >/dev/null 2>&1 &
program=$!
pids+=("$program")
wait_for 20 xdotool search --onlyvisible --name "^$caption\$"
window=$(xdotool search --onlyvisible --name "^$caption\$" | head -n1)
xdotool windowactivate --sync "$window"
# The show sequence asks the server for its instances, then the balloon
# comes (a second window of the program): the first picture. The list would
# cover the balloon's end, so it opens once the balloon is gone: the keyboard goes to the
# server box (Tab from the page's tab walks the login fields first) and
# Alt+Down opens it for the second picture.
balloon_shown() { [ "$(xdotool search --onlyvisible --pid "$program" | wc -l)" -ge 2 ]; }
balloon_gone() { ! balloon_shown; }
wait_for 20 balloon_shown
sleep 0.5
import -window root "$work/balloon.png"
wait_for 20 balloon_gone
xdotool key --delay 80 Tab Tab Tab Tab alt+Down
sleep 0.7
import -window root "$work/list.png"
# Side by side, without the empty screen around each.
for shot in balloon list; do
    convert "$work/$shot.png" -trim +repage -bordercolor white -border 8 "$work/$shot-trimmed.png"
done
convert "$work/balloon-trimmed.png" "$work/list-trimmed.png" -background white -gravity north +append "$out"
echo "$out"
