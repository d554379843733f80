# shellcheck shell=bash
# A private X display for programs run without a screen: Xvfb on a display
# number it picks itself, with openbox so that windows are managed as on a
# desktop. Needs tools/lib/ledger.sh.
#
#   start_private_display LEDGER DIR   starts both, logs in DIR; exports DISPLAY;
#                                       tries three times
#   wait_for_window NAME SECONDS        prints the id of the visible window
#                                       named exactly NAME once it is mapped

start_private_display() {
    local ledger=$1 dir=$2 attempt
    # Now and then a fresh openbox never takes over the screen of a busy
    # machine; a second server and window manager do.
    for attempt in 1 2 3; do
        start_display_once "$ledger" "$dir" && return 0
        echo "private display: attempt $attempt of 3 failed" >&2
    done
    return 1
}

start_display_once() {
    local ledger=$1 dir=$2 _ number='' xvfb openbox
    ledger_start "$ledger" xvfb "$dir/xvfb" \
        Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp
    xvfb=$(ledger_last_pid "$ledger")
    for _ in $(seq 1 100); do
        number=$(head -n 1 "$dir/xvfb.out" 2>/dev/null)
        [ -n "$number" ] && break
        sleep 0.1
    done
    if [ -z "$number" ]; then
        echo "Xvfb did not start:" >&2
        cat "$dir/xvfb.err" >&2
        kill -TERM -- "-$xvfb" 2>/dev/null || true
        return 1
    fi
    export DISPLAY=:$number
    ledger_start "$ledger" openbox "$dir/openbox" openbox --sm-disable
    openbox=$(ledger_last_pid "$ledger")
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        kill -0 "$openbox" 2>/dev/null || break
        sleep 0.1
    done
    echo "openbox did not manage $DISPLAY:" >&2
    cat "$dir/openbox.err" >&2
    kill -TERM -- "-$openbox" "-$xvfb" 2>/dev/null || true
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
