#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the project's own sources
# (calculate/, common/, cli/, comtrade/, recording/, bench/, fuzz/) and fails on any
# finding that scripts/clang-tidy-known.txt does not list:
#   scripts/clang-tidy.sh [BUILD_DIR ...]     (default: build/clang build/fuzz)
# Each build directory's compile_commands.json supplies the compiler flags; a
# source is checked once, with the flags of the first build that compiles it
# (the fuzz harnesses exist only in the fuzz build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export CLANG_TIDY=${CLANG_TIDY:-clang-tidy}
known_list=scripts/clang-tidy-known.txt

builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then
    builds=(build/clang build/fuzz)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
declare -A seen=()
count=0
for build in "${builds[@]}"; do
    database="$build/compile_commands.json"
    if [ ! -f "$database" ]; then
        echo "clang-tidy: $database not found; configure that build first" >&2
        exit 2
    fi
    files=()
    while IFS= read -r file; do
        if [ -z "${seen[$file]:-}" ]; then
            seen[$file]=1
            files+=("$file")
        fi
    done < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$database" |
             grep -E "^$root/(calculate|common|cli|comtrade|recording|bench|fuzz)/[^/]+\.cpp$" | sort -u)
    if [ ${#files[@]} -eq 0 ]; then
        continue
    fi
    echo "clang-tidy: ${#files[@]} sources with the flags of $build"
    count=$((count + ${#files[@]}))
    # One log and one exit status per source, two at a time.
    printf '%s\n' "${files[@]}" | BUILD="$build" WORK="$work" xargs -P 2 -I{} sh -c '
        name=$(printf "%s" "$1" | tr "/" "_")
        "$CLANG_TIDY" -p "$BUILD" --quiet "$1" > "$WORK/$name.log" 2>&1
        echo $? > "$WORK/$name.rc"' _ {}
done

# Findings as "path check", e.g. "cli/main.cpp bugprone-exception-escape".
findings() {
    sed -n "s#^$root/\([^:]*\):[0-9]*:[0-9]*: \(warning\|error\): .*\[\([^],]*\)[],].*\$#\1 \3#p" "$1"
}
known() {
    grep -v -E '^\s*(#|$)' "$known_list" | sed 's/\s*#.*$//' | grep -qxF "$1"
}

status=0
for log in "$work"/*.log; do
    [ -e "$log" ] || continue
    rc=$(cat "${log%.log}.rc")
    all=$(findings "$log")
    unknown=$(printf '%s\n' "$all" | while IFS= read -r finding; do
        if [ -n "$finding" ] && ! known "$finding"; then echo "$finding"; fi
    done)
    if [ -n "$unknown" ] || { [ "$rc" -ne 0 ] && [ -z "$all" ]; }; then
        status=1
        grep -v -E "^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$" "$log" || true
    elif [ -n "$all" ]; then
        printf '%s\n' "$all" | sed 's/^/known (reported, not yet fixed): /'
    fi
done

if [ $status -ne 0 ]; then
    echo "clang-tidy: findings above" >&2
else
    echo "clang-tidy: no new findings in $count sources"
fi
exit $status
