#!/usr/bin/env bash
# ctlgrm-options.sh CTLGRM MANPAGE COMPLETION: every option that `ctlgrm --help` lists is
# described in the manual page and offered by the bash completion, so an option added to
# ctlgrm without them fails here.
set -uo pipefail
ctlgrm=$1 manpage=$2 completion=$3
options=$("$ctlgrm" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
[[ -n $options ]] || { echo "ctlgrm --help lists no option"; exit 1; }
# shellcheck source=/dev/null
source "$completion"
failed=0
for option in $options; do
    escaped=${option//-/\\-}
    if ! grep -qF -- "$escaped" "$manpage"; then
        echo "$option is missing from $(basename "$manpage")"
        failed=1
    fi
    COMP_WORDS=(ctlgrm "$option") COMP_CWORD=1
    _ctlgrm
    if ! printf '%s\n' "${COMPREPLY[@]}" | grep -qx -- "$option"; then
        echo "$option is not offered by the completion"
        failed=1
    fi
done
exit $failed
