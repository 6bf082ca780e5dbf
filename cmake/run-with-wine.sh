#!/usr/bin/env bash
# run-with-wine.sh WINE PREFIX PROGRAM [ARG...]: runs a Windows program under
# Wine in PREFIX, creating the prefix on first use. Wine cannot create one
# prefix from two processes at once, so parallel test runs take a lock.
set -euo pipefail
wine=$1
prefix=$2
shift 2

export WINEPREFIX=$prefix WINEDEBUG=-all
if [ ! -e "$prefix/.created" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -e "$prefix/.created" ]; then
            "$wine" wineboot --init > "$prefix.log" 2>&1
            touch "$prefix/.created"
        fi
    ) 9> "$prefix.lock"
fi
exec "$wine" "$@"
