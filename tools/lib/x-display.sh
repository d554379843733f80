# shellcheck shell=bash
# A private X display for programs run without a screen: Xvfb on a display
# number it picks itself, with openbox so that windows are managed as on a
# desktop. Needs tools/lib/ledger.sh.
#
#   start_private_display LEDGER DIR   starts both, logs in DIR; exports DISPLAY
#   wait_for_window NAME SECONDS        prints the id of the visible window
#                                       named exactly NAME once it is mapped

start_private_display() {
    local ledger=$1 dir=$2 _ number=
    ledger_start "$ledger" xvfb "$dir/xvfb" \
        Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp
    for _ in $(seq 1 100); do
        number=$(head -n 1 "$dir/xvfb.out" 2>/dev/null)
        [ -n "$number" ] && break
        sleep 0.1
    done
    [ -n "$number" ] || { echo "Xvfb did not start; see $dir/xvfb.err" >&2; return 1; }
    export DISPLAY=:$number
    ledger_start "$ledger" openbox "$dir/openbox" openbox --sm-disable
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
    echo "openbox did not start; see $dir/openbox.err" >&2
    return 1
}

wait_for_window() {
    local name=$1 seconds=$2 pattern id _
    # shellcheck disable=SC2016 # the sed expression is literal; $ is a character to escape
    pattern="^$(printf '%s' "$name" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$"
    for _ in $(seq 1 $((seconds * 10))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
