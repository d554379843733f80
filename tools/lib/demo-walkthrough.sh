# What the demo does on a screen nobody looks at: it plays the first-run
# journey with xdotool, as a new user would, and takes a screenshot of each
# window on the way. Needs tools/lib/ledger.sh and tools/lib/x-display.sh;
# uses the caller's $demo, $ledger and $sa_password.
#
# Clicks land at the controls' places in the setup window, whose layout is
# fixed in 96-dpi pixels (client area 296 x 384; the page control at 8, 8,
# 281 x 369; the button bar the last 34 pixels of its page).

readonly setup_caption="Movan Config DataBase 4.0"
readonly tools_caption="بررسي و رفع اشكالات احتمالي بانكهاي اطلاعاتي نرم افزارهاي موان"
readonly step_seconds=15

# click_in WINDOW X Y: a left click at client coordinates of WINDOW.
click_in() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

click_confirm() { click_in "$1" 55 358; }
click_tools() { click_in "$1" 229 358; }
click_password() { click_in "$1" 175 300; }

shot() {
    import -window root "$demo/shots/$1.png"
}

# answer_dialog PID: waits for the program's next window (a message dialog,
# modal over the setup window) and presses its default button.
answer_dialog() {
    local pid=$1 _ count
    for _ in $(seq 1 $((step_seconds * 10))); do
        count=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)
        if [ "$count" -ge 2 ]; then
            sleep 0.3
            shot "dialog-$((++dialogs))"
            xdotool key Return
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

start_program() {
    ledger_start "$ledger" movan-config "$demo/logs/movan-config" "$demo/app/movan-config"
    program_pid=$started_pid
    setup_window=$(wait_for_window "$setup_caption" 60)
}

# Sets journey_stop to where the journey stopped short of the maintenance
# window, if it did.
walk_through_first_run() {
    journey_stop=
    dialogs=0
    start_program || { journey_stop="the setup window did not open"; return; }
    report_window_open
    sleep 1
    shot setup
    click_password "$setup_window"
    xdotool type --delay 20 "$sa_password"
    click_confirm "$setup_window"
    # No database "Tarnel" yet: the test fails and offers to attach Data/.
    answer_dialog "$program_pid" || { journey_stop="confirm showed no message"; return; }
    answer_dialog "$program_pid" || { journey_stop="the attach reported nothing"; return; }
    click_confirm "$setup_window"
    answer_dialog "$program_pid" || { journey_stop="the second confirm showed no message"; return; }
    # A successful test ends the program; a user then starts it again.
    wait "$program_pid" 2>/dev/null || true
    start_program || { journey_stop="the setup window did not open again"; return; }
    click_tools "$setup_window"
    if ! wait_for_window "$tools_caption" "$step_seconds" >/dev/null; then
        journey_stop="the tools button opened no maintenance window"
        return
    fi
    sleep 1
    shot maintenance
}
