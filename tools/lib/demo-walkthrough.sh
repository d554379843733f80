# shellcheck shell=bash
# What the demo does on a screen nobody looks at: it plays the first-run
# journey (tools/lib/journey.sh) as a new user would, starts the program
# again, opens the maintenance window, tries its filter, backs "Tarnel" up
# and restores it from that file, with a screenshot of each step. Needs
# ledger.sh, x-display.sh and journey.sh; uses the caller's $demo, $ledger,
# $sa_password and report_window_open.

readonly setup_caption="Movan Config DataBase 4.0"

# The screenshots in the order taken, "FILE<TAB>what it shows", for the
# closing note.
demo_shots=()

shot() {
    local name=$1 what=$2 file
    file=$demo/shots/$(printf '%02d' $((${#demo_shots[@]} + 1)))-$name.png
    # The whole screen: the message dialogs and the balloon are windows of
    # their own beside the program's window.
    import -window root -trim +repage "$file"
    demo_shots+=("$file"$'\t'"$what")
}

# The three messages of the first run, in the order they come.
journey_dialog_shown() {
    case "$1" in
        1) shot offer-to-attach "the connection fails: no database \"Tarnel\" yet, the offer to attach Data/" ;;
        2) shot attached "the default database attached" ;;
        *) shot connected "the second confirm connects; OK ends the program" ;;
    esac
}

# The steps of the backup and the restore that have a screenshot.
journey_step_shown() {
    case "$1" in
        backup-save-dialog)
            settle 0.5
            shot backup-save-dialog "the backup button: its save dialog with the path typed, backups/Tarnel.Bak" ;;
        backup-notice)
            settle_busy
            shot backup-done "the backup done: the notice that it succeeded" ;;
        restore-warning) shot restore-warning "the restore button: the warning to back up first; yes goes on" ;;
        restore-open-dialog)
            settle 0.5
            shot restore-open-dialog "the restore's open dialog with the backup file typed" ;;
        restore-done)
            settle_busy
            shot restored "Tarnel restored from backups/Tarnel.Bak: the final message" ;;
    esac
}

# The program starts in its own folder, so that its file dialogs open beside
# its data rather than wherever the demo was started.
start_program() {
    ledger_start "$ledger" movan-config "$demo/logs/movan-config" env -C "$demo/app" "$demo/app/movan-config"
    program_pid=$(ledger_last_pid "$ledger")
    setup_window=$(wait_for_window "$setup_caption" 60)
}

# The window is on the screen when mapped; its show sequence (the server
# list, the balloon) runs just after.
settle() {
    sleep "${1:-1}"
}

# The busy indicator stays up for a moment after an operation's closing
# message comes.
settle_busy() {
    settle 0.8
}

# Fails, saying where on standard error, when the journey stops short.
walk_through_first_run() {
    start_program || { journey_fail "the setup window did not open"; return; }
    report_window_open
    settle 1.5
    shot setup "the setup window on the first run: this computer, database \"Tarnel\", login sa"
    journey_first_run "$program_pid" "$setup_window" "$(hostname)" sa "$sa_password" || return
    local status=0
    wait "$program_pid" || status=$?
    [ "$status" = 0 ] || { journey_fail "the program ended with exit code $status"; return; }

    start_program || { journey_fail "the setup window did not open again"; return; }
    settle 1.5
    shot setup-again "the setup window again, with the saved settings"
    tools_window=$(journey_open_tools "$program_pid" "$setup_window") || return
    settle 1.5
    shot maintenance "the tools button pressed: the maintenance window on its backup page"
    # From the tab bar: the database list, then the filter.
    journey_keys Tab Tab space
    settle 1
    journey_keys shift+Tab alt+Down
    settle 1
    shot maintenance-filter "the filter ticked: the list keeps the Qelnat, Movan and Tarnel databases"
    journey_keys Escape Tab space shift+Tab alt+Down
    settle 1
    shot maintenance-all "the filter cleared: the list holds every database again"
    journey_keys Escape shift+Tab
    back_up_and_restore
}

# From the maintenance window's tab bar. The backup adds a set to an
# existing file and a restore takes the file's first set, so the last
# run's file goes first.
back_up_and_restore() {
    local backup=$demo/backups/Tarnel.Bak known="$setup_window $tools_window"
    rm -f "$backup"
    journey_backup "$program_pid" "$known" Tarnel "$backup" || return
    journey_activate "$tools_window" || { journey_fail "the maintenance window did not take the keyboard back"; return; }
    journey_restore "$program_pid" "$known" "$backup" || return
    # A restore that fails ends with a message too; one that succeeds has
    # written the data file anew.
    [ "$demo/app/Data/Data.mdf" -nt "$backup" ] || journey_fail "the restore did not replace Tarnel"
}
