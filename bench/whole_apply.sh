#!/usr/bin/env bash
# Whole processes, side by side in one run: `sorvik rename` with a find-and-replace preset
# over N files in one folder (apply, and preview), against a loop of rename(2) given the same
# command line (sorvik_bench_rename_loop), and against the same loop renaming each file twice,
# through a temporary name as sorvik's executor does (the floor of any apply that can swap
# names). Every run is a full batch: the files are renamed back and forth, and the history is
# emptied before each apply. Prints the medians of the runs: elapsed seconds and peak memory
# (maximum resident set) from /usr/bin/time -v. Where they are installed, perl's rename (the
# preview `rename -n` and the rename itself) and mmv run in the same loop, over the same files.
# The files lie under TMPDIR (or /tmp): point it at a tmpfs to leave the disk out.
#
# Usage: bench/whole_apply.sh [files] [runs]    (defaults 100000 and 5)
# Needs the release build (make bench): build/release/bin/sorvik (or the program SORVIK names) and
# build/release/bench/sorvik_bench_rename_loop.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100000}
runs=${2:-5}
sorvik=${SORVIK:-$PWD/build/release/bin/sorvik}
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

# Linux takes at most 6 MiB of arguments (strings and pointers) whatever the stack limit, so
# larger counts get shorter names, before and after.
format='IMG-%06d.jpg' new=Holiday
[ "$count" -le 250000 ] || { format='IMG%d'; new=HOL; }

preset() { # name find replacement
    printf '{"id":"%s","name":"%s","symbol":"text","colorHex":"3478F6","schemaVersion":1,"isBuiltIn":false,"rules":[{"id":"%s","isEnabled":true,"kind":{"type":"replace","config":{"find":"%s","replacement":"%s","regex":false,"caseSensitive":true,"scope":"name","occurrence":"all"}}}]}' \
        "$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)" "$1" "$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)" "$2" "$3"
}
printf '{"schemaVersion":1,"presets":[%s,%s]}' "$(preset Forward IMG $new)" \
    "$(preset Backward $new IMG)" >"$scene/data/sorvik/presets.json"

cd "$scene/files"
python3 - "$count" "$format" <<'PY'
import os, sys
for index in range(int(sys.argv[1])):
    with open(sys.argv[2] % index, "wb") as file:
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

# perl's rename (Debian's "rename" package installs it as file-rename), and mmv.
perlRename=$(command -v file-rename || true)
if [ -z "$perlRename" ] && rename --version 2>/dev/null | grep -qi perl; then perlRename=$(command -v rename); fi
mmv=$(command -v mmv || true)

declare -a sorvikTime sorvikMemory loopTime loopMemory previewTime previewMemory twoTime
declare -a perlTime perlPreviewTime mmvTime
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
    read -r t m < <(measure "$loop" IMG $new "${files[@]}")
    loopTime+=("$t"); loopMemory+=("$m")
    mapfile -t files < <(names)
    "$loop" $new IMG "${files[@]}"
    mapfile -t files < <(names)
    read -r t m < <(measure "$loop" --through-temporary-names IMG $new "${files[@]}")
    twoTime+=("$t")
    mapfile -t files < <(names)
    "$loop" $new IMG "${files[@]}"
    if [ -n "$perlRename" ]; then
        mapfile -t files < <(names)
        read -r t m < <(measure "$perlRename" -n "s/IMG/$new/" "${files[@]}")
        perlPreviewTime+=("$t")
        read -r t m < <(measure "$perlRename" "s/IMG/$new/" "${files[@]}")
        perlTime+=("$t")
        mapfile -t files < <(names)
        "$loop" $new IMG "${files[@]}"
    fi
    if [ -n "$mmv" ]; then
        read -r t m < <(measure "$mmv" 'IMG*' "$new#1")
        mmvTime+=("$t")
        mapfile -t files < <(names)
        "$loop" $new IMG "${files[@]}"
    fi
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
if [ -n "$perlRename" ]; then
    prt=$(printf '%s\n' "${perlTime[@]}" | median)
    ppt=$(printf '%s\n' "${perlPreviewTime[@]}" | median)
    printf '  perl rename       %7.3f s             %.2f x the loop\n' "$prt" "$(echo "$prt / $lt" | bc -l)"
    printf '  perl rename -n    %7.3f s             sorvik preview is %.2f x it\n' "$ppt" "$(echo "$pt / $ppt" | bc -l)"
fi
if [ -n "$mmv" ]; then
    mt=$(printf '%s\n' "${mmvTime[@]}" | median)
    printf '  mmv               %7.3f s             %.2f x the loop\n' "$mt" "$(echo "$mt / $lt" | bc -l)"
fi
