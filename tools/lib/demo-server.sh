# shellcheck shell=bash
# The server side of the demo: a throw-away Kerberos realm, sqlemu as the
# default instance on TCP 1433 with the browser on UDP 1434 and one named
# instance, and databases whose names show the maintenance window's filter.
# Needs tools/lib/ledger.sh and sqlemu-password.sh; uses the caller's $demo, $ledger, $sqlemu, $repo.

readonly default_port=1433
readonly browser_port=1434
readonly named_instance=SHOBE

# instance, name, size of the data file in MB: big enough that a backup
# shows its progress for a moment. Those beginning with Qelnat or holding
# Movan or Tarnel pass the "Movan databases only" filter; there is no
# "Tarnel" itself, so the first connection test offers to attach Data/. No
# other name begins with "Tarnel": the database box picks the first name
# that begins with what is typed.
readonly demo_databases=(
    "MSSQLSERVER QelnatAcc1403 48"
    "MSSQLSERVER QelnatAnbar 24"
    "MSSQLSERVER MovanSalary 32"
    "MSSQLSERVER OldMovanArchive 16"
    "MSSQLSERVER BranchTarnel2 24"
    "MSSQLSERVER Shop 16"
    "MSSQLSERVER PhoneBook 8"
    "$named_instance QelnatShobe 16"
    "$named_instance Reports 8"
)

# Stops the demo with a clear message when a port it needs is taken.
require_free_port() {
    local proto=$1 port=$2 holder
    holder=$(port_holder "$proto" "$port")
    if [ -n "$holder" ]; then
        echo "${proto^^} port $port is taken by $holder; the demo needs it for sqlemu." >&2
        echo "Stop that program (or let its run end) and run ./dev demo again." >&2
        exit 1
    fi
}

start_realm() {
    local named_port=$1
    ledger_start "$ledger" kerberos-realm "$demo/logs/kerberos" \
        bash -c 'sleep infinity | "$@"' kerberos "$repo/tests/support/kerberos-realm" \
        "$demo/realm" "$default_port" "$named_port"
    if ! wait_for_line "$demo/logs/kerberos.out" "realm ready" "$(ledger_last_pid "$ledger")" 60; then
        echo "The Kerberos realm did not start:" >&2
        cat "$demo/logs/kerberos.err" >&2
        exit 1
    fi
    # The server and every client of the demo see the realm.
    # shellcheck disable=SC1091
    source "$demo/realm/env"
    realm_user=$(sed -n 's/^user=//p' "$demo/logs/kerberos.out")
}

start_sqlemu() {
    local named_port=$1 password=$2
    start_sqlemu_process "$ledger" "$demo/logs/sqlemu" "$sqlemu" "$password" \
        --data-dir "$demo/server" --port "$default_port" \
        --instance "$named_instance=$named_port" --browser --browser-port "$browser_port" \
        --keytab "$demo/realm/service.keytab" --force-encryption >/dev/null || exit 1
}

# The text between the quotes of a T-SQL string literal.
sql_quoted() {
    printf '%s' "${1//\'/\'\'}"
}

# Made offline by sqlemu itself, then attached over TDS with the realm's
# Windows login, as an administrator would.
create_demo_databases() {
    local named_port=$1 entry instance name size port batch output listed data log
    mkdir -p "$demo/databases"
    for instance in MSSQLSERVER "$named_instance"; do
        batch=
        for entry in "${demo_databases[@]}"; do
            read -r listed name size <<<"$entry"
            [ "$listed" = "$instance" ] || continue
            data=$demo/databases/$name.mdf
            log=$demo/databases/${name}_log.ldf
            "$sqlemu" --make-database "$name" --size "$size" --data "$data" --log "$log"
            batch+="CREATE DATABASE [$name] ON (FILENAME = N'$(sql_quoted "$data")'), "
            batch+="(FILENAME = N'$(sql_quoted "$log")') FOR ATTACH"$'\ngo\n'
        done
        port=$default_port
        [ "$instance" = "$named_instance" ] && port=$named_port
        output=$(printf '%sexit\n' "$batch" | tsql -H 127.0.0.1 -p "$port" 2>&1) || true
        if grep -q '^Msg \|Login failed\|There was a problem' <<<"$output"; then
            echo "Attaching the demo databases to $instance failed:" >&2
            echo "$output" >&2
            exit 1
        fi
    done
}
