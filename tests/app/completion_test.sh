#!/usr/bin/env bash
# The bash completion against the built program: commands and options from
# its --help, preset names, and adapter indexes through the backend named on
# the line (a simulated state file of the test's own).
#
# Usage: completion_test.sh COMPLETION_FILE VELMORA_BINARY
set -euo pipefail
completion=$1
velmora=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELMORA_STATE_DIR=$work/state

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The file's own `complete` line names velmora; the test calls the function.
compopt() { :; }
# shellcheck source=/dev/null
source "$completion"

complete_line() { # complete_line WORD...: the candidates for the last word
    COMP_WORDS=("$velmora" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _velmora
    [ "${#COMPREPLY[@]}" -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() { # expect WHAT ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

state=$work/adapters.json
printf '{"adapters": [{"index": 4, "description": "a"}, {"index": 41, "description": "b"}]}' >"$state"

expect "commands" "$(complete_line s)" "set show status "
expect "all commands" "$(complete_line '')" \
    "bench dhcp flush history list presets reset restore set show status "
expect "options" "$(complete_line --ti)" "--timeout "
expect "backends" "$(complete_line --backend '')" "networkmanager simulated simulated: "
expect "joined backends" "$(complete_line --backend=s)" "--backend=simulated --backend=simulated: "
expect "presets" "$(complete_line set 4 --preset quad)" "quad9 quad9-unfiltered "
expect "indexes" "$(complete_line "--backend=simulated:$state" show '')" "4 41 "
expect "indexes, backend spaced" "$(complete_line --backend "simulated:$state" set 4)" "4 41 "
expect "status index" "$(complete_line "--backend=simulated:$state" status '')" "4 41 "
expect "bench --apply" "$(complete_line "--backend=simulated:$state" bench --apply '')" "4 41 "
expect "no index after the first operand" "$(complete_line "--backend=simulated:$state" set 4 '')" ""
expect "list takes nothing" "$(complete_line "--backend=simulated:$state" list '')" ""
echo PASS
