#!/usr/bin/env bash
# Both Debian packages installed with dpkg, as an administrator does, on a
# throw-away root: a writable overlay over this machine's own root, in a
# private mount namespace, so nothing reaches the real system. An older
# build first, with data in use; the upgrade; two administrators of group
# movan saving the shared settings in turn and a sibling program's account
# reading them; the emulator's account writing Data/; remove, which keeps
# data; purge, which keeps the user's databases; and a purge after which
# nothing of the packages is left on disk.
#
#   lifecycle_test.sh BUILD_DIR
# Needs root (it mounts) and dpkg; no network.
set -euo pipefail

if [ "${1:-}" = --in-namespace ]; then
    inside=1
    work=$2
    repo=$3
else
    inside=
    repo=$(cd "$(dirname "$0")/../../.." && pwd)
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# ---------------------------------------------------------------------------
# Outside: the packages of this build, and an older build of them.

# The packages as the previous release shipped them: no maintainer scripts,
# a root-owned application folder, /var/lib/sqlemu in the package, and a
# lower version.
make_older_build() {
    local deb name tree
    mkdir -p "$work/old" "$work/old-tree"
    for deb in "$work"/new/*.deb; do
        name=$(dpkg-deb -f "$deb" Package)
        tree=$work/old-tree/$name
        dpkg-deb -R "$deb" "$tree"
        rm -f "$tree"/DEBIAN/postinst "$tree"/DEBIAN/prerm "$tree"/DEBIAN/postrm
        sed -i 's/^Version: .*/Version: 4.0-0/; s/^Depends: adduser, /Depends: /' "$tree/DEBIAN/control"
        [ "$name" = sqlemu ] && mkdir -p "$tree/var/lib/sqlemu"
        dpkg-deb --root-owner-group -b "$tree" "$work/old/$name.deb" >/dev/null
    done
}

if [ -z "$inside" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "FAIL: needs root, to mount the throw-away root" >&2; exit 1; }
    build=$(cd "$1" && pwd)
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    if ! cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
        cat "$work/cpack.log" >&2
        echo "FAIL: cpack" >&2
        exit 1
    fi
    mkdir -p "$work/new"
    mv "$work"/cpack/movan-config_*.deb "$work/new/movan-config.deb"
    mv "$work"/cpack/sqlemu_*.deb "$work/new/sqlemu.deb"
    make_older_build
    unshare --mount --propagation private --fork "$0" --in-namespace "$work" "$repo"
    exit $?
fi

# ---------------------------------------------------------------------------
# Inside a private mount namespace: the throw-away root.

root=$work/root
mkdir -p "$work/layers"
mount -t tmpfs tmpfs "$work/layers"
mkdir -p "$work/layers/upper" "$work/layers/work" "$root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/layers/upper,workdir=$work/layers/work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
# No systemd runs in it: the scripts take the path of a system being
# installed, and systemctl works on the files only.
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
mkdir -p "$root/tmp/debs"
cp -r "$work/new" "$work/old" "$root/tmp/debs/"
upper=$work/layers/upper
# The manual page index is rebuilt on every dpkg call otherwise, which takes
# longer than all the rest.
echo 'man-db man-db/auto-update boolean false' | chroot "$root" debconf-set-selections
app=/opt/movan

in_root() {
    chroot "$root" "$@"
}

as_user() {
    local user=$1
    shift
    chroot "$root" setpriv --reuid="$user" --regid="$user" --init-groups -- "$@"
}

dpkg_in_root() {
    if ! in_root env DEBIAN_FRONTEND=noninteractive dpkg --force-unsafe-io "$@" >"$work/dpkg.log" 2>&1; then
        cat "$work/dpkg.log" >&2
        fail "dpkg $*"
        return 1
    fi
}

hash_of() {
    sha256sum <"$root$1" | cut -d' ' -f1
}

# Names as the throw-away root knows them.
owner_mode() {
    in_root stat -c '%U:%G %a' "$1"
}

installed_version() {
    # shellcheck disable=SC2016 # dpkg-query's own fields
    in_root dpkg-query -W -f='${Version} ${db:Status-Status}' "$1" 2>/dev/null || true
}

# The settings as a Movan program saves them, CR LF ended; the keys the
# sibling programs read.
settings_text() {
    printf '[DataBase]\r\nServer=%s\r\nServerMachinName=\r\nServerIPAddress=\r\nDataBaseName=Tarnel\r\nType=SQL\r\nUser=sa\r\nPass=%s\r\n' "$1" "$2"
}

# A save by USER as the program makes it: a new file is made readable and
# writable by owner and group only; an existing one of another owner is
# rewritten in place, keeping owner and mode.
save_settings_as() {
    local user=$1 server=$2 password=$3
    settings_text "$server" "$password" >"$root/tmp/settings-$user"
    chmod 0644 "$root/tmp/settings-$user"
    # shellcheck disable=SC2016 # expanded by the user's shell
    as_user "$user" sh -c '
        set -e
        file=$1/InitPrg.ini
        if [ -e "$file" ]; then
            cat "$2" >"$file"
        else
            install -m 0660 "$2" "$1/.InitPrg.ini.new"
            mv "$1/.InitPrg.ini.new" "$file"
        fi' save "$app" "/tmp/settings-$user"
}

# What a sibling program, or another administrator, reads as USER.
read_settings_as() {
    # shellcheck disable=SC2016 # expanded by the user's shell
    as_user "$1" sh -c 'grep "^Pass=" "$1/InitPrg.ini" | tr -d "\r"' read "$app"
}

# The seven keys as USER reads them must be the ones another user saved.
expect_settings() {
    local user=$1 password=$2 got
    got=$(read_settings_as "$user" 2>&1) || true
    [ "$got" = "Pass=$password" ] || fail "$user does not read the settings saved last (Pass=$password): $got"
}

# --- The older build, in use -----------------------------------------------

install_older_build() {
    dpkg_in_root -i /tmp/debs/old/movan-config.deb /tmp/debs/old/sqlemu.deb || return 1
    # Saved by root before the group existed, as the older build's users did.
    settings_text old-server Old-1 >"$root$app/InitPrg.ini"
    chmod 0600 "$root$app/InitPrg.ini"
    in_root sqlemu --make-database Data --data "$app/Data/Data.mdf" --log "$app/Data/Data_Log.ldf" \
        --logical-data Data_Data --logical-log Data_log >/dev/null
    # What a server run as root left in its data folder.
    in_root sqlemu --make-database Old --data /var/lib/sqlemu/Old.mdf --log /var/lib/sqlemu/Old_log.ldf >/dev/null
    old_settings_hash=$(hash_of "$app/InitPrg.ini")
    old_database_hash=$(hash_of "$app/Data/Data.mdf")
    old_catalogue_hash=$(hash_of /var/lib/sqlemu/Old.mdf)
}

check_upgrade() {
    dpkg_in_root -i /tmp/debs/new/movan-config.deb /tmp/debs/new/sqlemu.deb || return 0
    [ "$(installed_version movan-config)" = "4.0-1 installed" ] || fail "movan-config not upgraded: $(installed_version movan-config)"
    [ "$(installed_version sqlemu)" = "4.0-1 installed" ] || fail "sqlemu not upgraded: $(installed_version sqlemu)"
    in_root getent group movan >/dev/null || { fail "no group movan"; return 0; }
    in_root getent passwd sqlemu >/dev/null || { fail "no account sqlemu"; return 0; }
    in_root id -nG sqlemu | grep -qw movan || fail "sqlemu is not in group movan: $(in_root id -nG sqlemu)"
    local dir
    for dir in "$app" "$app/Data"; do
        [ "$(owner_mode "$dir")" = "root:movan 2775" ] || fail "$dir is $(owner_mode "$dir"), not root:movan 2775"
    done
    # Nothing in use was touched: the settings keep bytes, owner and mode.
    [ "$(hash_of "$app/InitPrg.ini")" = "$old_settings_hash" ] || fail "the upgrade changed InitPrg.ini"
    [ "$(owner_mode "$app/InitPrg.ini")" = "root:root 600" ] \
        || fail "the upgrade changed InitPrg.ini's owner or mode: $(owner_mode "$app/InitPrg.ini")"
    [ "$(hash_of "$app/Data/Data.mdf")" = "$old_database_hash" ] || fail "the upgrade changed Data/Data.mdf"
    [ "$(hash_of /var/lib/sqlemu/Old.mdf)" = "$old_catalogue_hash" ] \
        || fail "the upgrade changed sqlemu's catalogue"
    [ "$(owner_mode /var/lib/sqlemu/Old.mdf)" = "sqlemu:sqlemu 640" ] \
        || fail "sqlemu's data is not its account's: $(owner_mode /var/lib/sqlemu/Old.mdf)"
    [ "$(owner_mode /var/lib/sqlemu)" = "sqlemu:sqlemu 750" ] \
        || fail "/var/lib/sqlemu is $(owner_mode /var/lib/sqlemu), not sqlemu:sqlemu 750"
    compgen -G "$root/etc/systemd/system/*.wants/sqlemu.service" >/dev/null && fail "the upgrade enabled sqlemu"
    # A second configure (dpkg-reconfigure, a reinstall) changes nothing.
    dpkg_in_root -i /tmp/debs/new/movan-config.deb /tmp/debs/new/sqlemu.deb || return 0
    [ "$(owner_mode "$app")" = "root:movan 2775" ] || fail "a reinstall changed $app: $(owner_mode "$app")"
    return 0
}

# --- Two administrators and a sibling program ------------------------------

check_shared_settings() {
    local user
    for user in alice bob sibling; do
        in_root adduser --quiet --disabled-password --gecos '' "$user" >/dev/null
        in_root adduser --quiet "$user" movan >/dev/null
    done
    # A file saved before the group existed is made shared by hand, as the
    # README says.
    in_root chgrp movan "$app/InitPrg.ini"
    in_root chmod 0660 "$app/InitPrg.ini"
    save_settings_as alice server-a Alice-1 || fail "alice cannot save the settings root saved"
    expect_settings bob Alice-1
    save_settings_as bob server-b Bob-2 || fail "bob cannot save the settings alice saved"
    expect_settings alice Bob-2
    expect_settings sibling Bob-2
    [ "$(owner_mode "$app/InitPrg.ini")" = "root:movan 660" ] \
        || fail "saving in turn changed InitPrg.ini's owner or mode: $(owner_mode "$app/InitPrg.ini")"

    # A new file: made by one administrator, in group movan through the
    # folder, saved by the other and read by both and by the sibling.
    rm "$root$app/InitPrg.ini"
    save_settings_as bob server-b Bob-3 || fail "bob cannot make a new settings file"
    [ "$(owner_mode "$app/InitPrg.ini")" = "bob:movan 660" ] \
        || fail "a new settings file is $(owner_mode "$app/InitPrg.ini"), not bob:movan 660"
    expect_settings alice Bob-3
    save_settings_as alice server-a Alice-4 || fail "alice cannot save the settings bob made"
    expect_settings bob Alice-4
    expect_settings sibling Alice-4
    # Someone outside the group reads nothing of it.
    in_root adduser --quiet --disabled-password --gecos '' outsider >/dev/null
    as_user outsider cat "$app/InitPrg.ini" >/dev/null 2>&1 && fail "a user outside group movan reads the settings"
    settings_hash=$(hash_of "$app/InitPrg.ini")
    return 0
}

# The emulator's account makes database files in Data/, as a restore does;
# the files stay in group movan.
check_server_account() {
    if ! as_user sqlemu sqlemu --make-database Tarnel --data "$app/Data/Tarnel.mdf" --log "$app/Data/Tarnel_log.ldf" \
        >"$work/make-database.log" 2>&1; then
        fail "sqlemu's account cannot write $app/Data: $(cat "$work/make-database.log")"
        return 0
    fi
    [ "$(in_root stat -c %G "$app/Data/Tarnel.mdf")" = movan ] || fail "a database file in Data/ is not in group movan"
    tarnel_hash=$(hash_of "$app/Data/Tarnel.mdf")
    # The server as the unit starts it, as the unit's account, on its data.
    local exec_start
    exec_start=$(sed -n 's/^ExecStart=//p' "$root/lib/systemd/system/sqlemu.service")
    exec_start=${exec_start/ \$SQLEMU_OPTIONS/}
    # Started directly, so that $! is the server itself: a server left
    # running would keep its account from being deleted by the purge.
    # shellcheck disable=SC2086
    chroot "$root" setpriv --reuid=sqlemu --regid=sqlemu --init-groups -- $exec_start --port 0 --browser-port 0 \
        >"$work/sqlemu.out" 2>"$work/sqlemu.err" &
    local server=$! _
    for _ in $(seq 1 300); do
        grep -q '^sqlemu ready' "$work/sqlemu.out" && break
        sleep 0.1
    done
    grep -q '^sqlemu ready' "$work/sqlemu.out" || fail "sqlemu does not start as its account: $(cat "$work/sqlemu.err")"
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
}

# --- Remove and purge ------------------------------------------------------

check_remove() {
    in_root systemctl enable sqlemu.service >/dev/null 2>&1 || fail "systemctl enable sqlemu failed"
    [ -L "$root/etc/systemd/system/multi-user.target.wants/sqlemu.service" ] || fail "enable made no link"
    dpkg_in_root -r movan-config sqlemu || return 0
    [ -e "$root$app/movan-config" ] && fail "remove left the program"
    [ -e "$root/usr/bin/sqlemu" ] && fail "remove left sqlemu"
    [ "$(hash_of "$app/InitPrg.ini" 2>/dev/null)" = "$settings_hash" ] || fail "remove did not keep InitPrg.ini"
    [ "$(hash_of "$app/Data/Data.mdf" 2>/dev/null)" = "$old_database_hash" ] || fail "remove did not keep Data/Data.mdf"
    [ "$(hash_of /var/lib/sqlemu/Old.mdf 2>/dev/null)" = "$old_catalogue_hash" ] \
        || fail "remove did not keep /var/lib/sqlemu"
    in_root getent group movan >/dev/null || fail "remove deleted group movan"
    in_root getent passwd sqlemu >/dev/null || fail "remove deleted the account sqlemu"
    return 0
}

# The user's databases in Data/ outlive a purge, and so do the account and
# the group that own them; everything else of ours goes.
check_purge_keeps_databases() {
    dpkg_in_root -P movan-config sqlemu || return 0
    [ -e "$root$app/InitPrg.ini" ] && fail "purge left InitPrg.ini, with the sa password"
    [ -e "$root/var/lib/sqlemu" ] && fail "purge left /var/lib/sqlemu"
    compgen -G "$root/etc/systemd/system/*.wants/sqlemu.service" >/dev/null && fail "purge left sqlemu enabled"
    [ "$(hash_of "$app/Data/Data.mdf" 2>/dev/null)" = "$old_database_hash" ] || fail "purge lost Data/Data.mdf"
    [ "$(hash_of "$app/Data/Tarnel.mdf" 2>/dev/null)" = "$tarnel_hash" ] || fail "purge lost Data/Tarnel.mdf"
    in_root getent group movan >/dev/null || fail "purge deleted group movan while its files remain"
    in_root getent passwd sqlemu >/dev/null || fail "purge deleted sqlemu while it owns database files"
    in_root dpkg-statoverride --list | grep -q "$app" && fail "purge left dpkg's modes for $app"
    return 0
}

# Installed afresh over the kept folder, the databases moved away by the
# administrator, then purged: nothing of ours may remain anywhere.
check_purge_leaves_nothing() {
    dpkg_in_root -i /tmp/debs/new/movan-config.deb /tmp/debs/new/sqlemu.deb || return 0
    [ "$(owner_mode "$app/Data")" = "root:movan 2775" ] || fail "a new install over the kept folder: $(owner_mode "$app/Data")"
    save_settings_as alice server-a Alice-5 || fail "alice cannot save after the new install"
    in_root systemctl enable sqlemu.service >/dev/null 2>&1 || fail "systemctl enable sqlemu failed"
    mkdir -p "$root/root/kept"
    mv "$root$app"/Data/* "$root/root/kept/"
    for user in alice bob sibling outsider; do
        in_root deluser --quiet --remove-home "$user" >/dev/null 2>&1
    done
    dpkg_in_root -P movan-config sqlemu || return 0
    rm -rf "$root/root/kept"
    local file
    for file in passwd group shadow gshadow; do
        grep -qE '(^|[:,])(movan|sqlemu)([:,]|$)' "$root/etc/$file" && fail "purge left movan or sqlemu in /etc/$file"
    done
    grep -q "$app" "$root/var/lib/dpkg/statoverride" && fail "purge left dpkg's modes for $app"
    # Every change to the root is in the overlay's upper layer: only dpkg's
    # own records, the account files it rewrote and caches may be there.
    local left
    left=$(cd "$upper" || exit 1
        find . -mindepth 1 ! \( -type d -exec test -d "/{}" \; \) -print \
        | sed 's|^\./|/|' \
        | grep -vE '^/(var/lib/dpkg|var/log|var/cache|tmp|run|root)(/|$)|^/etc/(passwd|group|shadow|gshadow|subuid|subgid)-?$' \
        | grep -vE '^/etc/\.pwd\.lock$|^/var/lib/systemd/deb-systemd-helper-(enabled|masked)$' \
        | grep -vE '^/usr/share/(icons/hicolor/icon-theme|applications/mimeinfo)\.cache$' || true)
    # The menu's caches are rebuilt by their own packages' triggers: without
    # us in them.
    grep -l movan-config "$root/usr/share/icons/hicolor/icon-theme.cache" \
        "$root/usr/share/applications/mimeinfo.cache" 2>/dev/null && fail "purge left movan-config in the menu's caches"
    [ -z "$left" ] || fail "purge left on disk: $left"
    return 0
}

install_older_build || { echo "1 check(s) failed" >&2; exit 1; }
check_upgrade
check_shared_settings
check_server_account
check_remove
check_purge_keeps_databases
check_purge_leaves_nothing

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install, upgrade, shared settings, remove and purge: all checks passed"
