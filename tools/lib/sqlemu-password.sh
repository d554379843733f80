# shellcheck shell=bash
# How a script starts sqlemu: the one place that knows how it takes the
# password of sa and how it says it is ready. Needs tools/lib/ledger.sh.
# A file keeps the password out of the process list; a sqlemu that cannot
# read one (no --sa-password-file in its --help) takes it on the command line.
#
#   sqlemu_password_arguments SQLEMU PASSWORD FILE
#       prints the arguments, one a line; writes FILE (mode 600) when used
#   start_sqlemu_process LEDGER LOGBASE SQLEMU PASSWORD ARGUMENTS...
#       starts sqlemu with the arguments and that password (its file beside
#       LOGBASE), waits for it to be ready and prints the default instance's
#       port; fails with sqlemu's own words on standard error

sqlemu_password_arguments() {
    local sqlemu=$1 password=$2 file=$3
    if "$sqlemu" --help 2>&1 | grep -q -- '--sa-password-file'; then
        (umask 077 && printf '%s\n' "$password" >"$file")
        printf '%s\n' --sa-password-file "$file"
    else
        printf '%s\n' --sa-password "$password"
    fi
}

start_sqlemu_process() {
    local ledger=$1 logbase=$2 sqlemu=$3 password=$4 password_arguments
    shift 4
    mapfile -t password_arguments < <(sqlemu_password_arguments "$sqlemu" "$password" "$logbase.sa-password")
    ledger_start "$ledger" sqlemu "$logbase" "$sqlemu" "$@" "${password_arguments[@]}"
    if ! wait_for_line "$logbase.out" "sqlemu ready" "$(ledger_last_pid "$ledger")" 30; then
        echo "sqlemu did not start:" >&2
        cat "$logbase.err" >&2
        return 1
    fi
    sed -n 's/.*MSSQLSERVER=\([0-9]*\).*/\1/p' "$logbase.out"
}
