#!/usr/bin/env bash
# man-pages.sh PAGE...: each manual page renders at 80 columns without a warning from man or
# groff.
set -uo pipefail
if ! command -v man >/dev/null; then
    echo "SKIPPED: man is not installed (scripts/install-deps.sh installs man-db)"
    exit 77
fi
failed=0
for page in "$@"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        echo "$page:"
        printf '%s\n' "$warnings"
        failed=1
    fi
done
exit $failed
