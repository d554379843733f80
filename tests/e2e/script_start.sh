# shellcheck shell=bash source-path=SCRIPTDIR
# The start every end-to-end script shares: the libraries it drives the
# program and sqlemu with, a work folder of its own with the ledger of the
# processes it starts, and on exit those processes stopped and the folder
# removed. Source it with $repo set to the source tree; sets $work and
# $ledger.
# shellcheck source=../../tools/lib/ledger.sh
source "$repo/tools/lib/ledger.sh"
# shellcheck source=../../tools/lib/x-display.sh
source "$repo/tools/lib/x-display.sh"
# shellcheck source=../../tools/lib/sqlemu-password.sh
source "$repo/tools/lib/sqlemu-password.sh"
# shellcheck source=../../tools/lib/journey.sh
source "$repo/tools/lib/journey.sh"
work=$(mktemp -d)
ledger=$work/processes
trap 'ledger_stop "$ledger"; rm -rf "$work"' EXIT
