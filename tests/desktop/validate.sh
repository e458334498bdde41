#!/usr/bin/env bash
# validate.sh TOOL [ARGUMENT]...: runs a validator that must pass without a word of complaint.
# When TOOL is not installed the test is skipped (exit 77) with a message saying so.
set -uo pipefail
tool=$1
if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
exit $status
