#!/usr/bin/env bash
# lintian on both Debian packages of a built build folder: no error and no
# warning that is not overridden, every override with its reason written
# above it, and no override left that matches nothing.
#
#   lintian_test.sh BUILD_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# An override is a decision: the comment block above it says why.
# shellcheck disable=SC2094 # fail writes to standard error, not the file
check_override_reasons() {
    local file=$1 line previous=
    while IFS= read -r line; do
        case "$line" in
        '' | '#'*) ;;
        *)
            case "$previous" in
            '#'* | *': '*) ;;
            *) fail "$(basename "$file"): no reason written above: $line" ;;
            esac
            ;;
        esac
        previous=$line
    done <"$file"
}

command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (tools/debian-packages.txt)" >&2; exit 1; }
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
fi

for file in "$repo"/packaging/*.lintian-overrides; do
    check_override_reasons "$file"
done

# Errors and warnings fail; so does an override that no longer matches,
# since it would hide the next tag of that name.
status=0
lintian --fail-on error,warning --display-info --tag-display-limit 0 \
    "$work"/packages/movan-config_*.deb "$work"/packages/sqlemu_*.deb >"$work/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian.log" >&2 || true
[ "$status" -eq 0 ] || fail "lintian exited with $status"
grep -E '^[EW]: ' "$work/lintian.log" >/dev/null && fail "lintian reports errors or warnings"
grep -E 'unused-override|mismatched-override' "$work/lintian.log" >/dev/null && fail "an override matches nothing"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "lintian: no errors, every warning overridden with a reason"
