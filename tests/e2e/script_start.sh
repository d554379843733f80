# shellcheck shell=bash
# The start every end-to-end script shares: the libraries it drives the
# program and sqlemu with, a work folder of its own with the ledger of the
# processes it starts, and on exit those processes stopped and the folder
# removed. Source it with $repo set to the source tree; sets $work and
# $ledger.
for lib in ledger x-display sqlemu-password journey; do
    # shellcheck disable=SC1090
    source "$repo/tools/lib/$lib.sh"
done
work=$(mktemp -d)
ledger=$work/processes
trap 'ledger_stop "$ledger"; rm -rf "$work"' EXIT
