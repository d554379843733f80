#!/usr/bin/env bash
# A user backs a database up and restores it through the maintenance window:
# the real program, copied into a folder of its own with its settings file,
# in a private X server with a window manager, against sqlemu as the local
# default instance with Windows (Kerberos) logins. The setup window's tools
# button opens the maintenance window; the database is chosen by typing its
# name, backed up to a file, its log changed behind the program's back, and
# the backup restored over it: the database is back as it was, its files in
# Data/ beside the executable.
#
#   backup_restore_test.sh MOVAN_CONFIG SQLEMU
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck disable=SC1090
# sets work and ledger
source "$repo/tests/e2e/script_start.sh"

program=$1
sqlemu=$2
mkdir -p "$work/logs" "$work/server" "$work/app/Data" "$work/backups"
readonly sa_password=Secret1
readonly database=Tarnel
readonly setup_caption="Movan Config DataBase 4.0"

die() {
    echo "FAIL: $*" >&2
    local window
    for window in $(journey_windows "${pid:-0}"); do
        echo "window $window: $(xprop -id "$window" _NET_WM_NAME _NET_WM_WINDOW_TYPE 2>/dev/null | tr '\n' ' ')" >&2
    done
    for log in movan-config sqlemu; do
        [ -s "$work/logs/$log.err" ] && { echo "--- $log:" >&2; tail -n 40 "$work/logs/$log.err" >&2; }
    done
    exit 1
}

start_servers() {
    ledger_start "$ledger" kerberos-realm "$work/logs/kerberos" \
        bash -c 'sleep infinity | "$@"' kerberos "$repo/tests/support/kerberos-realm" "$work/realm" 1433
    wait_for_line "$work/logs/kerberos.out" "realm ready" "$(ledger_last_pid "$ledger")" 60 \
        || die "the Kerberos realm did not start: $(cat "$work/logs/kerberos.err")"
    # shellcheck disable=SC1091
    source "$work/realm/env"
    start_sqlemu_process "$ledger" "$work/logs/sqlemu" "$sqlemu" "$sa_password" --data-dir "$work/server" \
        --port 1433 --keytab "$work/realm/service.keytab" --test-statements >/dev/null || die "sqlemu did not start"
}

as_sa() {
    printf '%s\ngo\nexit\n' "$1" | tsql -H 127.0.0.1 -p 1433 -U sa -P "$sa_password" -o q 2>&1 \
        | sed 's/[[:space:]]*$//'
}

# A database a restore can take: its logical files are Data_Data and Data_log.
make_database() {
    "$sqlemu" --make-database "$database" --data "$work/server/$database.mdf" --log "$work/server/${database}_log.ldf" \
        --logical-data Data_Data --logical-log Data_log >"$work/logs/make-database" 2>&1 \
        || die "sqlemu made no database: $(cat "$work/logs/make-database")"
    as_sa "USE master CREATE DATABASE $database ON (FILENAME = N'$work/server/$database.mdf'), (FILENAME = N'$work/server/${database}_log.ldf') FOR ATTACH" \
        >"$work/logs/attach"
    data_file_of | grep -q . || die "the database was not attached: $(cat "$work/logs/attach")"
}

data_file_of() {
    # shellcheck disable=SC1003 # a backslash, turned into a slash
    as_sa "SELECT filename FROM master.dbo.sysdatabases WHERE name = N'$database'" | tr '\\' / | grep '\.mdf$' || true
}

# The program as installed, with the settings a first run leaves: the local
# default instance and the login sa. (The maintenance window's own list and
# backup log in with Windows authentication whatever the settings say.)
install_program() {
    cp "$program" "$work/app/movan-config"
    printf '[DataBase]\r\nServer=127.0.0.1,1433\r\nServerMachinName=\r\nServerIPAddress=\r\nDataBaseName=%s\r\nType=SQL\r\nUser=sa\r\nPass=%s\r\n' \
        "$database" "$sa_password" >"$work/app/InitPrg.ini"
}

start_servers
make_database
install_program
start_private_display "$ledger" "$work/logs" || die "no X server"
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
ledger_start "$ledger" movan-config "$work/logs/movan-config" env -u QT_QPA_PLATFORM "$work/app/movan-config"
pid=$(ledger_last_pid "$ledger")
setup=$(wait_for_window "$setup_caption" 60) || die "the program showed no setup window"
tools=$(journey_open_tools "$pid" "$setup") || die "the journey stopped short"
journey_activate "$tools" || die "the maintenance window never had the keyboard"

data_before=$work/before.mdf
log_before=$work/before.ldf
cp "$work/server/$database.mdf" "$data_before"
cp "$work/server/${database}_log.ldf" "$log_before"
backup=$work/backups/$database.Bak

journey_backup "$pid" "$setup $tools" "$database" "$backup" || die "the journey stopped short"
[ -s "$backup" ] || die "no backup file at the path typed: $(ls -la "$work/backups")"

as_sa "EXEC sqlemu_test_grow_log @database = N'$database', @megabytes = 2" >"$work/logs/grow"
cmp -s "$work/server/${database}_log.ldf" "$log_before" && die "the log did not change: $(cat "$work/logs/grow")"

journey_activate "$tools" || die "the maintenance window did not take the keyboard back"
journey_restore "$pid" "$setup $tools" "$backup" || die "the journey stopped short"

restored=$(data_file_of)
[ "$restored" = "$work/app/Data/Data.mdf" ] || die "the server has $database at '$restored', not in Data/ beside the program"
cmp -s "$work/app/Data/Data.mdf" "$data_before" || die "the restored data file differs from the one backed up"
cmp -s "$work/app/Data/Data_Log.ldf" "$log_before" || die "the restored log is not the one backed up"
grep -q "RESTORE DATABASE \[$database\] FROM DISK = N'$backup'" "$work/app/Restore.txt" \
    || die "Restore.txt does not record the restore: $(cat "$work/app/Restore.txt")"
journey_running "$pid" || die "the program ended during the restore"
echo "backup and restore through the maintenance window: passed"
