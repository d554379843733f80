# shellcheck shell=bash
# The first-run journey and a backup and restore in the maintenance window,
# played with xdotool as a user plays them: the one place that knows the
# keyboard order of the program's windows and how its dialogs are answered.
# The program's windows are found by its process id, since xdotool does not
# match Persian window names; every key goes to the window that has the
# keyboard, as a user's would.
#
# Source it with DISPLAY set; functions:
#   journey_windows PID                 the visible windows of PID, one a line
#   journey_new_window PID SECONDS KNOWN...
#                                       waits for a visible window of PID that
#                                       is none of KNOWN and prints its id
#   journey_activate WINDOW             raises it and waits for the keyboard
#   journey_keys KEY...  journey_type TEXT
#   journey_answer_dialog PID MAIN      waits for a dialog of PID over MAIN,
#                                       calls journey_dialog_shown N if the
#                                       caller defines it, presses Enter (the
#                                       first button) and waits till it is gone
#   journey_new_dialog PID SECONDS KNOWN...
#                                       as journey_new_window, but passes over
#                                       the busy indicator (a tool window)
#   journey_dismiss PID WINDOW          Enter, then waits till WINDOW is gone
#   journey_choose_file PID KNOWN PATH [STEP]
#                                       waits for a file dialog over the
#                                       windows KNOWN (blank separated), types
#                                       the full PATH as the file name, shows
#                                       STEP if given, Enter
#   journey_answer PID SECONDS STEP KNOWN MISSING
#                                       waits for a dialog over KNOWN, shows
#                                       STEP, presses Enter and waits till it
#                                       is gone; MISSING is what it says when
#                                       none comes
#   journey_first_run PID WINDOW SERVER LOGIN PASSWORD
#                                       types them, confirms, accepts the offer
#                                       to attach the default database,
#                                       confirms again and waits for the
#                                       program to end (wait PID gives its
#                                       exit code)
#   journey_open_tools PID WINDOW       presses the tools button; prints the
#                                       maintenance window's id
#   journey_backup PID KNOWN DATABASE PATH
#                                       from the maintenance window's tab bar:
#                                       chooses DATABASE, backs it up to PATH
#                                       and closes the notice; the keyboard is
#                                       left on the backup button
#   journey_restore PID KNOWN PATH      from the backup button: restores PATH
#                                       over the database chosen in the box,
#                                       answering the warning, the open
#                                       dialog, the question and the final
#                                       message
# A step is shown by calling journey_step_shown STEP if the caller defines
# it, while the step is on the screen: backup-save-dialog (the path typed),
# backup-notice, restore-warning, restore-open-dialog, restore-question,
# restore-done.
# A step that does not come is said on standard error ("journey: ...") and
# the function returns 1.

journey_step_seconds=${journey_step_seconds:-30}

# Says where the journey stopped short and fails.
journey_fail() {
    echo "journey: $1" >&2
    return 1
}
# A backup or a restore runs before its closing message comes.
journey_operation_seconds=${journey_operation_seconds:-60}

journey_windows() {
    xdotool search --onlyvisible --pid "$1" 2>/dev/null || true
}

# A child the shell has not yet reaped is still listed, as a zombie.
journey_running() {
    local state
    state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}

journey_new_window() {
    local pid=$1 seconds=$2 window _
    shift 2
    for _ in $(seq 1 $((seconds * 10))); do
        for window in $(journey_windows "$pid"); do
            [[ " $* " == *" $window "* ]] || { echo "$window"; return 0; }
        done
        journey_running "$pid" || return 1
        sleep 0.1
    done
    return 1
}

# (windowactivate --sync would wait for ever on a window the window manager
# refuses to raise.)
journey_activate() {
    xdotool windowactivate "$1" >/dev/null 2>&1 || true
    local _
    for _ in $(seq 1 50); do
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

journey_keys() {
    xdotool key --delay 50 "$@"
}

journey_type() {
    xdotool type --delay 30 "$1"
}

journey_answer_dialog() {
    local pid=$1 main=$2 dialog
    dialog=$(journey_new_window "$pid" "$journey_step_seconds" "$main") || return 1
    journey_activate "$dialog" || return 1
    journey_dialogs=$((${journey_dialogs:-0} + 1))
    if declare -F journey_dialog_shown >/dev/null; then
        journey_dialog_shown "$journey_dialogs"
    fi
    journey_dismiss "$pid" "$dialog"
}

# The busy indicator is a window of the program too, shown while a long
# operation runs; the window manager is told it is a tool (utility) window.
journey_is_tool_window() {
    xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_UTILITY
}

journey_new_dialog() {
    local pid=$1 seconds=$2 window _
    shift 2
    for _ in $(seq 1 $((seconds * 10))); do
        for window in $(journey_windows "$pid"); do
            [[ " $* " == *" $window "* ]] && continue
            journey_is_tool_window "$window" || { echo "$window"; return 0; }
        done
        journey_running "$pid" || return 1
        sleep 0.1
    done
    return 1
}

journey_dismiss() {
    local pid=$1 dialog=$2 _
    journey_keys Return
    for _ in $(seq 1 $((journey_step_seconds * 10))); do
        journey_windows "$pid" | grep -qx "$dialog" || return 0
        sleep 0.1
    done
    return 1
}

# The file name field has the keyboard when a file dialog opens; a full path
# typed there is taken as it stands.
journey_choose_file() {
    local pid=$1 known=$2 path=$3 step=${4:-} dialog
    # shellcheck disable=SC2086
    dialog=$(journey_new_dialog "$pid" "$journey_step_seconds" $known) || return 1
    journey_activate "$dialog" || return 1
    journey_type "$path"
    [ -z "$step" ] || journey_show_step "$step"
    journey_dismiss "$pid" "$dialog"
}

journey_show_step() {
    if declare -F journey_step_shown >/dev/null; then
        journey_step_shown "$1"
    fi
}

journey_answer() {
    local pid=$1 seconds=$2 step=$3 known=$4 missing=$5 dialog
    # shellcheck disable=SC2086
    dialog=$(journey_new_dialog "$pid" "$seconds" $known) || { journey_fail "$missing"; return; }
    journey_show_step "$step"
    journey_dismiss "$pid" "$dialog" || { journey_fail "the $step dialog did not close"; return; }
}

# The keyboard starts on the page's tab; Tab walks the login, the password,
# the server, the database name and the confirm button (a text box that
# takes the keyboard by Tab has its text selected, so typing replaces it).
journey_fill_setup() {
    local server=$1 login=$2 password=$3
    journey_keys Tab Tab
    journey_type "$login"
    journey_keys Tab
    journey_type "$password"
    journey_keys Tab ctrl+a
    journey_type "$server"
    journey_keys Tab Tab
}

journey_first_run() {
    local pid=$1 window=$2 server=$3 login=$4 password=$5 _
    journey_activate "$window" || { journey_fail "the setup window never had the keyboard"; return; }
    journey_fill_setup "$server" "$login" "$password"
    journey_keys space
    # No such database yet: the offer to attach the default one, then the
    # note that it was attached.
    journey_answer_dialog "$pid" "$window" || { journey_fail "confirm showed no offer to attach"; return; }
    journey_answer_dialog "$pid" "$window" || { journey_fail "the attach reported nothing"; return; }
    journey_activate "$window" || { journey_fail "the setup window did not take the keyboard back"; return; }
    journey_keys space
    journey_answer_dialog "$pid" "$window" || { journey_fail "the second confirm showed no message"; return; }
    for _ in $(seq 1 $((journey_step_seconds * 10))); do
        journey_running "$pid" || break
        sleep 0.1
    done
    if journey_running "$pid"; then
        journey_fail "the program did not end after the second confirm"
        return
    fi
}

# From the page's tab: the authentication choice, login, password, server,
# database name, confirm, cancel, tools.
journey_open_tools() {
    local pid=$1 window=$2
    journey_activate "$window" || { journey_fail "the setup window never had the keyboard"; return; }
    journey_keys Tab Tab Tab Tab Tab Tab Tab Tab space
    journey_new_dialog "$pid" "$journey_step_seconds" "$window" \
        || { journey_fail "the tools button opened no maintenance window"; return; }
}

# A question whose default answer is No (the restore's): Tab takes the
# keyboard to Yes, Return presses it.
journey_answer_yes() {
    local pid=$1 seconds=$2 step=$3 known=$4 missing=$5 dialog
    # shellcheck disable=SC2086
    dialog=$(journey_new_dialog "$pid" "$seconds" $known) || { journey_fail "$missing"; return; }
    journey_show_step "$step"
    journey_keys Tab
    journey_dismiss "$pid" "$dialog" || { journey_fail "the $step dialog did not close"; return; }
}

# From the tab bar: the database box (typed, it takes the first database
# whose name begins with the text; Enter goes on to the filter), the backup
# button.
journey_backup() {
    local pid=$1 known=$2 database=$3 path=$4
    journey_keys Tab
    journey_type "$database"
    journey_keys Return Tab space
    journey_choose_file "$pid" "$known" "$path" backup-save-dialog \
        || { journey_fail "the backup button opened no save dialog"; return; }
    journey_answer "$pid" "$journey_operation_seconds" backup-notice "$known" "the backup reported nothing"
}

# The keyboard is back on the backup button after its notice; the restore
# button is next. It warns to back up first, asks for the file, asks again
# before it replaces the database and says how it went.
journey_restore() {
    local pid=$1 known=$2 path=$3
    journey_keys Tab space
    journey_answer "$pid" "$journey_step_seconds" restore-warning "$known" "the restore button showed no warning" \
        || return 1
    journey_choose_file "$pid" "$known" "$path" restore-open-dialog \
        || { journey_fail "the restore showed no open dialog"; return; }
    journey_answer_yes "$pid" "$journey_operation_seconds" restore-question "$known" "the restore asked nothing" \
        || return 1
    journey_answer "$pid" "$journey_operation_seconds" restore-done "$known" "the restore showed no final message"
}
