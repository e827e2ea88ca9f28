#!/usr/bin/env bash
# Whole processes, side by side in one run: `sorvik rename` with a find-and-replace preset
# over N files in one folder (apply, and preview), against a loop of rename(2) given the same
# command line (sorvik_bench_rename_loop), and against the same loop renaming each file twice,
# through a temporary name as sorvik's executor does (the floor of any apply that can swap
# names). Every run is a full batch: the files are renamed back and forth, and the history is
# emptied before each apply. Prints the medians of the runs: elapsed seconds and peak memory
# (maximum resident set) from /usr/bin/time -v.
#
# Usage: bench/whole_apply.sh [files] [runs]    (defaults 100000 and 5)
# Needs the release build (make bench): build/release/bin/sorvik and
# build/release/bench/sorvik_bench_rename_loop.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100000}
runs=${2:-5}
sorvik=$PWD/build/release/bin/sorvik
loop=$PWD/build/release/bench/sorvik_bench_rename_loop
for program in "$sorvik" "$loop"; do
    [ -x "$program" ] || { echo "whole_apply: build the release preset first ($program)" >&2; exit 1; }
done

scene=$(mktemp -d "${TMPDIR:-/tmp}/sorvik-whole-XXXXXX")
trap 'rm -rf "$scene"' EXIT
mkdir -p "$scene/files" "$scene/data/sorvik" "$scene/config" "$scene/home"
export HOME=$scene/home XDG_DATA_HOME=$scene/data XDG_CONFIG_HOME=$scene/config
# The program's own argument list must hold 100,000 names.
ulimit -s unlimited || true

preset() { # name find replacement
    printf '{"id":"%s","name":"%s","symbol":"text","colorHex":"3478F6","schemaVersion":1,"isBuiltIn":false,"rules":[{"id":"%s","isEnabled":true,"kind":{"type":"replace","config":{"find":"%s","replacement":"%s","regex":false,"caseSensitive":true,"scope":"name","occurrence":"all"}}}]}' \
        "$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)" "$1" "$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)" "$2" "$3"
}
printf '{"schemaVersion":1,"presets":[%s,%s]}' "$(preset Forward IMG Holiday)" \
    "$(preset Backward Holiday IMG)" >"$scene/data/sorvik/presets.json"

cd "$scene/files"
python3 - "$count" <<'PY'
import os, sys
for index in range(int(sys.argv[1])):
    with open("IMG-%06d.jpg" % index, "wb") as file:
        file.write(b"x")
PY
sync
"$sorvik" grant "$scene/files" >/dev/null

# Runs a command under /usr/bin/time; prints "seconds kibibytes".
measure() {
    /usr/bin/time -v "$@" >/dev/null 2>"$scene/time" || { cat "$scene/time" >&2; exit 1; }
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
                /Maximum resident set size/ { m = $2 } END { printf "%.3f %d\n", s, m }' "$scene/time"
}
names() { ls -U | LC_ALL=C sort; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -a sorvikTime sorvikMemory loopTime loopMemory previewTime previewMemory twoTime
for ((run = 0; run < runs; ++run)); do
    mapfile -t files < <(names)
    read -r t m < <(measure "$sorvik" rename --preset Forward "${files[@]}")
    previewTime+=("$t"); previewMemory+=("$m")
    rm -f "$XDG_DATA_HOME/sorvik/history.json"
    read -r t m < <(measure "$sorvik" rename --preset Forward --apply "${files[@]}")
    sorvikTime+=("$t"); sorvikMemory+=("$m")
    mapfile -t files < <(names)
    rm -f "$XDG_DATA_HOME/sorvik/history.json"
    "$sorvik" rename --preset Backward --apply "${files[@]}" >/dev/null
    mapfile -t files < <(names)
    read -r t m < <(measure "$loop" IMG Holiday "${files[@]}")
    loopTime+=("$t"); loopMemory+=("$m")
    mapfile -t files < <(names)
    "$loop" Holiday IMG "${files[@]}"
    mapfile -t files < <(names)
    read -r t m < <(measure "$loop" --through-temporary-names IMG Holiday "${files[@]}")
    twoTime+=("$t")
    mapfile -t files < <(names)
    "$loop" Holiday IMG "${files[@]}"
done

st=$(printf '%s\n' "${sorvikTime[@]}" | median)
sm=$(printf '%s\n' "${sorvikMemory[@]}" | median)
pt=$(printf '%s\n' "${previewTime[@]}" | median)
pm=$(printf '%s\n' "${previewMemory[@]}" | median)
lt=$(printf '%s\n' "${loopTime[@]}" | median)
lm=$(printf '%s\n' "${loopMemory[@]}" | median)
tt=$(printf '%s\n' "${twoTime[@]}" | median)
printf '%d files, medians of %d runs\n' "$count" "$runs"
printf '  rename(2) loop    %7.3f s  %7.1f MiB\n' "$lt" "$(echo "$lm / 1024" | bc -l)"
printf '  two renames each  %7.3f s             %.2f x the loop\n' "$tt" "$(echo "$tt / $lt" | bc -l)"
printf '  sorvik --apply    %7.3f s  %7.1f MiB  %.2f x the loop, %.2f x two renames each\n' "$st" "$(echo "$sm / 1024" | bc -l)" "$(echo "$st / $lt" | bc -l)" "$(echo "$st / $tt" | bc -l)"
printf '  sorvik preview    %7.3f s  %7.1f MiB  %.2f x the loop\n' "$pt" "$(echo "$pm / 1024" | bc -l)" "$(echo "$pt / $lt" | bc -l)"
