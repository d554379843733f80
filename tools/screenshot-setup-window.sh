#!/usr/bin/env bash
# Pictures of the setup window as a user sees it: Persian captions, the
# balloon that warns that the configured server is not this computer, and
# the list of servers open with two named instances. Runs the built program
# and sqlemu in a private X server with a window manager.
#
#   tools/screenshot-setup-window.sh [output.png] [build folder]
#
# Defaults: setup-window.png in the current folder, build/debug.
# shellcheck source-path=SCRIPTDIR
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$tools")
# shellcheck source=lib/ledger.sh
source "$tools/lib/ledger.sh"
# shellcheck source=lib/x-display.sh
source "$tools/lib/x-display.sh"
# shellcheck source=lib/sqlemu-password.sh
source "$tools/lib/sqlemu-password.sh"

out=$(realpath -m "${1:-setup-window.png}")
build=$(realpath "${2:-$root/build/debug}")
caption='Movan Config DataBase 4.0'

work=$(mktemp -d)
ledger=$work/processes
trap 'ledger_stop "$ledger"; rm -rf "$work"' EXIT

wait_for() { # seconds, command...
    local tries=$(($1 * 10))
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { echo "timed out: $*" >&2; exit 1; }
        sleep 0.1
    done
}

mkdir -p "$work/logs" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
unset QT_QPA_PLATFORM
start_private_display "$ledger" "$work/logs"

port=$(start_sqlemu_process "$ledger" "$work/logs/sqlemu" "$build/bin/sqlemu" Secret1 --data-dir "$work/sqlemu" \
    --port 0 --instance SALES=0 --instance STOCK=0) || exit 1

mkdir "$work/app"
cp "$build/bin/movan-config" "$work/app/"
printf '[DataBase]\r\nServer=127.0.0.1,%s\r\nDataBaseName=Tarnel\r\nType=SQL\r\nUser=sa\r\nPass=Secret1\r\n' \
    "$port" >"$work/app/InitPrg.ini"
ledger_start "$ledger" movan-config "$work/logs/movan-config" "$work/app/movan-config"
program=$(ledger_last_pid "$ledger")
window=$(wait_for_window "$caption" 20) || { echo "the setup window did not show" >&2; exit 1; }
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
