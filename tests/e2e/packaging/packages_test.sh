#!/usr/bin/env bash
# Builds both Debian packages with CPack from a configured and built build
# folder, unpacks them with dpkg-deb into a temporary root and checks what a
# machine that installs them gets.
#
#   packages_test.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck disable=SC1090
# sets work and ledger
source "$repo/tests/e2e/script_start.sh"

build=$(cd "$1" && pwd)
root=$work/root
mkdir -p "$root" "$work/logs"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

build_packages() {
    if ! cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/logs/cpack" 2>&1; then
        cat "$work/logs/cpack" >&2
        echo "FAIL: cpack" >&2
        exit 1
    fi
    app_deb=$(ls "$work"/packages/movan-config_*.deb)
    sqlemu_deb=$(ls "$work"/packages/sqlemu_*.deb)
    dpkg-deb -x "$app_deb" "$root"
    dpkg-deb -x "$sqlemu_deb" "$root"
}

# Depends comes from the libraries the binaries link, not from a list.
check_control() {
    local depends
    depends=$(dpkg-deb -f "$app_deb" Depends)
    for library in libqt6widgets6 libsybdb5 libc6; do
        grep -q "\b$library\b" <<<"$depends" || fail "movan-config does not depend on $library: $depends"
    done
    depends=$(dpkg-deb -f "$sqlemu_deb" Depends)
    grep -q '\blibgssapi-krb5-2\b' <<<"$depends" || fail "sqlemu does not depend on libgssapi-krb5-2: $depends"
    grep -q 'qt6' <<<"$depends" && fail "sqlemu depends on Qt: $depends"
    [ "$(dpkg-deb -f "$app_deb" Package)" = movan-config ] || fail "the program's package is not movan-config"
    [ "$(dpkg-deb -f "$sqlemu_deb" Package)" = sqlemu ] || fail "the emulator's package is not sqlemu"
    local deb description
    for deb in "$app_deb" "$sqlemu_deb"; do
        description=$(dpkg-deb -f "$deb" Description)
        grep -q '^ [^ .]' <<<"$description" || fail "$(basename "$deb") has no long description in Debian's form"
        grep -q '^ ;' <<<"$description" && fail "$(basename "$deb") has list separators in its description"
    done
    return 0
}

check_layout() {
    local app=$root/opt/movan
    [ -x "$app/movan-config" ] || fail "no executable in /opt/movan"
    [ -s "$app/DataLR.avi" ] || fail "no DataLR.avi beside the executable"
    [ -d "$app/Data" ] || fail "no Data/ in /opt/movan"
    [ -e "$app/InitPrg.ini" ] && fail "the package ships a settings file"
    [ "$(readlink "$root/usr/bin/movan-config")" = /opt/movan/movan-config ] \
        || fail "/usr/bin/movan-config does not point to /opt/movan/movan-config"
    [ -x "$root/usr/bin/sqlemu" ] || fail "no /usr/bin/sqlemu"
    # (Listings are read whole first: grep -q leaving a pipe early would
    # fail the pipeline and hide what it found.)
    local listing
    listing=$(dpkg-deb -c "$sqlemu_deb")
    grep -q ' \./opt/' <<<"$listing" && fail "the sqlemu package owns folders under /opt"
    local page package
    for page in sqlemu movan-config; do
        [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no compressed manual page $page.1.gz"
        [ -n "$(man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null)" ] || fail "the manual page $page.1 does not format"
    done
    for package in movan-config sqlemu; do
        grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
            "$root/usr/share/doc/$package/copyright" || fail "$package has no machine-readable copyright file"
        grep -A2 '^Files: \*$' "$root/usr/share/doc/$package/copyright" | grep -q '^License: GPL-3+$' \
            || fail "$package's own files are not under the GPL version 3 or later"
        zcat "$root/usr/share/doc/$package/changelog.Debian.gz" 2>/dev/null \
            | head -n 1 | grep -q "^$package ($(dpkg-deb -f "$work/packages/${package}_"*.deb Version)) " \
            || fail "$package's changelog.Debian.gz does not name this version"
    done
    grep -q 'DataLR\.avi' "$root/usr/share/doc/movan-config/copyright" \
        || fail "the copyright file does not name the generated DataLR.avi"
    return 0
}

# Installed, never enabled or started by the package.
check_service() {
    local unit=$root/lib/systemd/system/sqlemu.service
    [ -f "$unit" ] || { fail "no sqlemu.service"; return 0; }
    grep -q '^ExecStart=/usr/bin/sqlemu --data-dir /var/lib/sqlemu ' "$unit" \
        || fail "the service does not run /usr/bin/sqlemu on /var/lib/sqlemu"
    [ -d "$root/etc/systemd" ] && fail "the package enables the service"
    local key
    for key in User=sqlemu Group=sqlemu SupplementaryGroups=movan StateDirectory=sqlemu ProtectSystem=strict \
        ReadWritePaths=-/opt/movan/Data; do
        grep -qx "$key" "$unit" || fail "the service lacks $key"
    done
    # 4.0 and below is what systemd calls "OK".
    systemd-analyze security --offline=yes --threshold=40 "$unit" >"$work/logs/security" 2>&1 \
        || fail "systemd-analyze rates the service above 4.0: $(tail -n 1 "$work/logs/security")"
    return 0
}

check_libraries() {
    local binary missing
    for binary in "$root/opt/movan/movan-config" "$root/usr/bin/sqlemu"; do
        missing=$(ldd "$binary" 2>&1 | grep 'not found' || true)
        [ -z "$missing" ] || fail "$(basename "$binary") needs libraries that are missing: $missing"
    done
}

check_desktop_entry() {
    local entry=$root/usr/share/applications/movan-config.desktop icon
    [ -f "$entry" ] || { fail "no desktop entry"; return 0; }
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses the entry"
    grep -q '^Name\[fa\]=' "$entry" || fail "the entry has no Persian name"
    grep -q '^Categories=System;' "$entry" || fail "the entry is not in the System category"
    grep -q '^Exec=/opt/movan/movan-config$' "$entry" || fail "the entry does not start /opt/movan/movan-config"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    cmp -s "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" "$repo/resources/app/movan-config.svg" \
        || fail "the scalable icon $icon is not the program's own"
    cmp -s "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" "$repo/resources/app/movan-config-48.png" \
        || fail "no 48x48 icon $icon beside the scalable one"
}

start_packaged_sqlemu() {
    mkdir -p "$work/sqlemu"
    sqlemu_port=$(start_sqlemu_process "$ledger" "$work/logs/sqlemu" "$root/usr/bin/sqlemu" "$sa_password" \
        --data-dir "$work/sqlemu" --port 0)
}

# The databases sqlemu serves, one name a line.
sqlemu_database_names() {
    printf 'select name from master.dbo.sysdatabases\ngo\nexit\n' \
        | tsql -H 127.0.0.1 -p "$sqlemu_port" -U sa -P "$sa_password" -o q 2>&1 | sed 's/[[:space:]]*$//'
}

# The seven keys the sibling programs read, in their order, CR LF ended.
check_settings_file() {
    local file=$1 expected actual
    [ -f "$file" ] || { fail "no InitPrg.ini beside the unpacked executable"; return 0; }
    expected=$'[DataBase]\nServer=\nServerMachinName=\nServerIPAddress=\nDataBaseName=\nType=\nUser=\nPass='
    actual=$(sed 's/=.*/=/' "$file" | tr -d '\r')
    [ "$actual" = "$expected" ] || fail "InitPrg.ini does not hold the seven keys in order: $(cat -A "$file")"
    [ "$(grep -c $'\r$' "$file")" -eq 8 ] || fail "InitPrg.ini lines do not end in CR LF"
    grep -qx $'Server=127.0.0.1,'"$sqlemu_port"$'\r' "$file" || fail "InitPrg.ini does not name the server typed"
    grep -qx $'DataBaseName=Tarnel\r' "$file" || fail "InitPrg.ini does not name the database Tarnel"
    grep -qx $'Type=SQL\r' "$file" || fail "InitPrg.ini does not keep the SQL Server login"
    grep -qx $'Pass='"$sa_password"$'\r' "$file" || fail "InitPrg.ini does not keep the password typed"
}

# The program as installed, on a private X server, against the packaged
# sqlemu, through a new user's first run: type the server, login and
# password, confirm, accept the offer to attach the shipped database,
# confirm again; the program ends with success and leaves its settings.
first_run_journey() {
    local app=$root/opt/movan window
    sa_password=Packaged-1
    start_packaged_sqlemu || { fail "the packaged sqlemu did not start"; return 0; }
    "$root/usr/bin/sqlemu" --make-database Data --data "$app/Data/Data.mdf" --log "$app/Data/Data_Log.ldf" \
        --logical-data Data_Data --logical-log Data_log >"$work/logs/make-database" 2>&1 \
        || { fail "the packaged sqlemu made no database: $(cat "$work/logs/make-database")"; return 0; }
    start_private_display "$ledger" "$work/logs" || { fail "no X server"; return 0; }
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    ledger_start "$ledger" movan-config "$work/logs/movan-config" env -u QT_QPA_PLATFORM "$app/movan-config"
    if ! window=$(wait_for_window "Movan Config DataBase 4.0" 60); then
        fail "the packaged program showed no window"
        cat "$work/logs/movan-config.err" >&2
        return 0
    fi
    local program status=0
    program=$(ledger_last_pid "$ledger")
    if ! journey_first_run "$program" "$window" "127.0.0.1,$sqlemu_port" sa "$sa_password"; then
        fail "the first run stopped short"
        cat "$work/logs/movan-config.err" >&2
        return 0
    fi
    wait "$program" || status=$?
    [ "$status" = 0 ] || fail "the program ended with exit code $status"
    check_settings_file "$app/InitPrg.ini"
    sqlemu_database_names | grep -qx Tarnel || fail "sqlemu does not list the attached database: $(sqlemu_database_names)"
}

build_packages
check_control
check_layout
check_service
check_libraries
check_desktop_entry
first_run_journey

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "packages: $(basename "$app_deb") $(basename "$sqlemu_deb"): all checks passed"
