#!/usr/bin/env bash
# completion.sh COMPLETION: what the bash completion of ctlgrm offers, word by word, in a
# folder made for the test.
set -uo pipefail
# shellcheck source=/dev/null
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir "My Music" Mixes && touch mixes.txt

failed=0
# expect "LINE" "OFFER..." : completing the last word of LINE (a line ending in a blank
# completes an empty word) offers exactly the OFFERs, one per line, in order.
expect() {
    local line=$1
    shift
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ctlgrm
    local got expected
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    expected=$(printf '%s\n' "$@" | sort)
    if [[ $got != "$expected" ]]; then
        printf 'completing "%s": expected [%s], got [%s]\n' "$line" "${*}" "${COMPREPLY[*]}"
        failed=1
    fi
}

expect "ctlgrm --so" --sort
expect "ctlgrm --no-" --no-title --no-summary --no-grid
expect "ctlgrm --sort " none size name attribute extension time
expect "ctlgrm --sort = e" extension
expect "ctlgrm --entries f" folders files
expect "ctlgrm --layout " standard cd zip
expect "ctlgrm --paper " letter a4
expect "ctlgrm --descend M" Mixes "My Music"
expect "ctlgrm -o mix" mixes.txt
expect "ctlgrm --comments M" Mixes "My Music"
expect "ctlgrm --title "
expect "ctlgrm -- --s"
exit $failed
