#!/bin/bash
# Throughput of a batch with one job and with two, over the shared drawings.
#
#   bench/batch.sh CONVERTER ROUNDS FOLDER...
#   e.g. bench/batch.sh build/tools/convert/lumicade-convert 7 \
#            ../shared/data/drawings ../shared/data/legacy-drawings ../shared/data/large-drawings
#
# Runs, interleaved, ROUNDS times each:
#   one    lumicade-convert --jobs 1 over the folders
#   two    lumicade-convert --jobs 2 over the same folders
#   pair   two --jobs 1 runs side by side, each over all the folders: what
#          the machine gives two independent processes of this work, the
#          ceiling two jobs can reach
# and prints the median wall time of each and the throughput ratios
# (one / two, and 2 x one / pair). Pictures go to a temporary folder.
set -euo pipefail
if [ $# -lt 3 ]; then
    sed -n '2,5p' "$0" >&2
    exit 2
fi
converter=$(realpath "$1")
rounds=$2
shift 2
folders=("$@")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

seconds() {  # seconds COMMAND... : wall time of the command, in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
one() { rm -rf "$out/a"; "$converter" --jobs 1 -r -o "$out/a" "${folders[@]}"; }
two() { rm -rf "$out/a"; "$converter" --jobs 2 -r -o "$out/a" "${folders[@]}"; }
pair() {
    rm -rf "$out/a" "$out/b"
    "$converter" --jobs 1 -r -o "$out/a" "${folders[@]}" &
    "$converter" --jobs 1 -r -o "$out/b" "${folders[@]}"
    wait
}

declare -a t1 t2 tp
for ((r = 0; r < rounds; ++r)); do
    t1+=("$(seconds one)")
    t2+=("$(seconds two)")
    tp+=("$(seconds pair)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
m1=$(median "${t1[@]}"); m2=$(median "${t2[@]}"); mp=$(median "${tp[@]}")
printf 'load average at the end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-28s %8.3f s   rounds: %s\n' "--jobs 1" "$m1" "${t1[*]}"
printf '%-28s %8.3f s   rounds: %s\n' "--jobs 2" "$m2" "${t2[*]}"
printf '%-28s %8.3f s   rounds: %s\n' "two --jobs 1 side by side" "$mp" "${tp[*]}"
awk -v a="$m1" -v b="$m2" -v p="$mp" 'BEGIN {
    printf "two jobs against one: %.2fx the throughput\n", a / b
    printf "two processes against one (the ceiling): %.2fx\n", 2 * a / p
}'
