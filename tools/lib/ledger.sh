# shellcheck shell=bash
# Processes a script starts and must stop again, even when the run that
# started them was killed: each one leads a session of its own (so its
# children go with it) and its id and start time are written to a ledger
# file. The next run reads the ledger and stops what is still there, never a
# process that merely got the same id later.
#
# Source it; functions:
#   ledger_start LEDGER NAME LOGBASE COMMAND...  starts COMMAND, output to
#                                                LOGBASE.out / LOGBASE.err
#   ledger_last_pid LEDGER                       the process id of the last
#                                                one started
#   ledger_stop LEDGER                           stops them all, empties it
#   process_start_time PID                       "" when there is no such process
#   wait_for_line FILE TEXT PID SECONDS          until FILE (a started
#                                                process's output) holds a
#                                                line starting with TEXT

process_start_time() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    # Field 22; the command name in field 2 may hold blanks, so count from
    # the parenthesis that closes it.
    stat=${stat##*) }
    local fields
    read -r -a fields <<<"$stat"
    echo "${fields[19]}"
}

ledger_start() {
    local ledger=$1 name=$2 logbase=$3
    shift 3
    # Descriptor 9 is the caller's run lock (see ledger_lock); children must
    # not keep it, or a killed run would leave the lock held.
    setsid "$@" </dev/null >"$logbase.out" 2>"$logbase.err" 9>&- &
    local pid=$!
    echo "$pid $(process_start_time "$pid") $name" >>"$ledger"
}

ledger_last_pid() {
    tail -n 1 "$1" | cut -d ' ' -f 1
}

# Whether the group the ledger entry started is still ours to stop: its
# leader is the very process started, or the leader is gone and members of
# its group remain (an id stays taken while a group bears it).
ledger_group_alive() {
    local pid=$1 start=$2 now
    now=$(process_start_time "$pid")
    if [ -n "$now" ]; then
        [ "$now" = "$start" ]
    else
        kill -0 -- "-$pid" 2>/dev/null
    fi
}

ledger_stop() {
    local ledger=$1 pid start name
    [ -f "$ledger" ] || return 0
    local groups=()
    while read -r pid start name; do
        [ -n "$pid" ] || continue
        if ledger_group_alive "$pid" "$start"; then
            groups+=("$pid")
            kill -TERM -- "-$pid" 2>/dev/null || true
        fi
    done <"$ledger"
    local _ left
    for _ in $(seq 1 50); do
        left=()
        for pid in "${groups[@]}"; do
            kill -0 -- "-$pid" 2>/dev/null && left+=("$pid")
        done
        [ ${#left[@]} -eq 0 ] && break
        sleep 0.1
    done
    for pid in "${left[@]}"; do
        kill -KILL -- "-$pid" 2>/dev/null || true
    done
    rm -f "$ledger"
}

# ledger_lock LOCKFILE: holds an exclusive lock on descriptor 9 for the rest
# of the run; fails when another live run holds it. The kernel drops the
# lock when the holder dies, however it dies.
ledger_lock() {
    exec 9>>"$1"
    flock -n 9
}

# wait_for_line FILE TEXT PID SECONDS: until FILE holds a line starting with
# TEXT; fails when the process ends first or the time is up.
wait_for_line() {
    local file=$1 text=$2 pid=$3 seconds=$4 _
    for _ in $(seq 1 $((seconds * 10))); do
        grep -q "^$text" "$file" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
