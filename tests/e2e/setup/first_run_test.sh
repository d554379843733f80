#!/usr/bin/env bash
# A user's first start of the program: no settings yet, the database files
# shipped in Data/. They type the server and the login, confirm, accept the
# offer to attach the default database, confirm again, and the program ends
# with the settings saved beside it. The keys are the journey the demo plays.
#
#   first_run_test.sh MOVAN_CONFIG SQLEMU
# shellcheck source-path=SCRIPTDIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck source=../script_start.sh
source "$repo/tests/e2e/script_start.sh"

program=$1
sqlemu=$2
readonly sa_password=Secret1
readonly setup_caption="Movan Config DataBase 4.0"
mkdir -p "$work/logs" "$work/app/Data" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime

die() {
    echo "FAIL: $*" >&2
    for log in movan-config sqlemu; do
        [ -s "$work/logs/$log.err" ] && { echo "--- $log:" >&2; tail -n 40 "$work/logs/$log.err" >&2; }
    done
    exit 1
}

port=$(start_sqlemu_process "$ledger" "$work/logs/sqlemu" "$sqlemu" "$sa_password" --data-dir "$work/server" --port 0) \
    || die "sqlemu did not start"
server="127.0.0.1,$port"

# The program and its database files, as an installation lays them out.
cp "$program" "$work/app/movan-config"
"$sqlemu" --make-database Tarnel --data "$work/app/Data/Tarnel.mdf" --log "$work/app/Data/Tarnel_log.ldf" \
    >"$work/logs/make-database" 2>&1 || die "sqlemu made no database: $(cat "$work/logs/make-database")"

start_private_display "$ledger" "$work/logs" || die "no X server"
ledger_start "$ledger" movan-config "$work/logs/movan-config" env -u QT_QPA_PLATFORM "$work/app/movan-config"
pid=$(ledger_last_pid "$ledger")
window=$(wait_for_window "$setup_caption" 60) || die "the program showed no setup window"

journey_first_run "$pid" "$window" "$server" sa "$sa_password" || die "the journey stopped short"
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || die "the program ended with status $status"

listed=$(printf 'SELECT name FROM master.dbo.sysdatabases\ngo\nexit\n' \
    | tsql -H 127.0.0.1 -p "$port" -U sa -P "$sa_password" -o q 2>&1)
grep -qx 'Tarnel[[:space:]]*' <<<"$listed" || die "Tarnel was not attached: $listed"

# The seven keys in their order, CR LF line ends, nothing else.
settings=$work/app/InitPrg.ini
[ -f "$settings" ] || die "no InitPrg.ini beside the program"
expected=$(printf '[DataBase]\r\nServer=%s\r\nServerMachinName=%s\r\nServerIPAddress=@\r\nDataBaseName=Tarnel\r\nType=SQL\r\nUser=sa\r\nPass=%s\r\n' \
    "$server" "$(hostname)" "$sa_password")
# The address is whatever this computer resolves its own name to.
actual=$(sed 's/^ServerIPAddress=.*\r$/ServerIPAddress=@\r/' "$settings")
[ "$actual" = "$expected" ] || die "InitPrg.ini holds: $(od -c "$settings" | head -20)"
echo "first run through the setup window: passed"
