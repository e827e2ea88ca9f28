#!/usr/bin/env bash
# Runs the tests that skip when run as root (the superuser passes every permission check, so
# a test of what an unreadable file or an unwritable folder does proves nothing there) once
# more, as an unprivileged user. CTest runs this beside the ordinary run; where the suite runs
# as root (as CI does), these tests would otherwise never run. Anyone else runs them in the
# ordinary run, so this skips.
#
# The tests are found in the sources: every TEST, TEST_F or TEST_P whose body asks whether
# geteuid() is 0 (or is not: a case added only where permissions bind). The run fails when one
# of them fails or skips, when one does not run, or when none is found.
#
# Usage: run_unprivileged.sh TEST_SOURCE_FOLDER TEST_PROGRAM...
# The user is $SORVIK_TEST_USER, else nobody.
set -euo pipefail
sources=$1
shift
skipped=77

if [ "$(id -u)" -ne 0 ]; then
    echo "Not run as root: the ordinary run holds the permission tests."
    exit $skipped
fi
user=${SORVIK_TEST_USER:-nobody}
uid=$(id -u "$user") || { echo "There is no user $user to run the permission tests as." >&2; exit 1; }
gid=$(id -g "$user")
if [ "$uid" -eq 0 ]; then
    echo "$user is the superuser: the permission tests need an unprivileged user." >&2
    exit 1
fi

# One gtest pattern per test: Suite.Name, or */Suite.Name/* for a parameterised one.
mapfile -t patterns < <(find "$sources" -name '*_test.cpp' -exec awk '
    /^[ \t]*TEST(_F|_P)?\(/ {
        line = $0
        parameterised = line ~ /TEST_P\(/
        sub(/^[ \t]*TEST(_F|_P)?\([ \t]*/, "", line)
        sub(/\).*$/, "", line)
        gsub(/[ \t]/, "", line)
        split(line, parts, ",")
        current = parts[1] "." parts[2]
        if (parameterised)
            current = "*/" current "/*"
    }
    /geteuid\(\)[ \t]*[!=]=[ \t]*0/ && current != "" { print current }
' {} + | sort -u)
if [ ${#patterns[@]} -eq 0 ]; then
    echo "No test in $sources skips as root: nothing to run, which means this search is out of date." >&2
    exit 1
fi
filter=$(IFS=:; echo "${patterns[*]}")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/sorvik-unprivileged-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/data" "$scratch/config" "$scratch/cache" "$scratch/runtime" \
    "$scratch/tmp" "$scratch/logs"
chmod 0700 "$scratch/runtime"
chown -R "$uid:$gid" "$scratch"

as_user() {
    (cd "$scratch" && setpriv --reuid="$uid" --regid="$gid" --clear-groups -- \
        env HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
        XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime" TMPDIR="$scratch/tmp" \
        "$@")
}

status=0
for program in "$@"; do
    # A build folder the user cannot reach (a checkout in root's home) still runs: the
    # permission tests need nothing beside their program, so a copy of it serves.
    if ! as_user test -x "$program"; then
        mkdir -p "$scratch/bin"
        cp "$program" "$scratch/bin/"
        program=$scratch/bin/$(basename "$program")
        chown -R "$uid:$gid" "$scratch/bin"
    fi
    log=$scratch/logs/$(basename "$program").log
    if ! as_user "$program" --gtest_filter="$filter" >"$log" 2>&1; then
        status=1
    fi
done

for log in "$scratch"/logs/*.log; do
    echo "$(basename "$log" .log):"
    cat "$log"
done
if grep -q '^\[  SKIPPED \] [^0-9]' "$scratch"/logs/*.log; then
    echo "A permission test skipped although it ran as $user." >&2
    status=1
fi
for pattern in "${patterns[@]}"; do
    # Suite.Name passes as itself; */Suite.Name/* as every instance and value of it.
    expression=$(printf '%s' "$pattern" | sed -e 's/\./\\./g' -e 's/\*/[^ ]*/g')
    if ! grep -h -q -- "^\[       OK \] $expression " "$scratch"/logs/*.log; then
        echo "$pattern did not pass as $user." >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "The ${#patterns[@]} permission tests passed as $user."
exit $status
