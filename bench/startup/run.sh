#!/bin/bash
# CPU of one-file conversions against reading the same drawing: rounds of
# `perf stat -r 20` (task-clock of the process tree), every command in turn
# in each round so that all share the machine's load, and the median round.
#
#   bench/startup/run.sh BUILD [OTHER_BUILD] [ROUNDS]
#   e.g. bench/startup/run.sh build ../main/build 7
set -euo pipefail
if [ $# -lt 1 ]; then
    sed -n '2,7p' "$0" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
builds=("$(realpath "$1")")
[ $# -ge 2 ] && [ -n "$2" ] && builds+=("$(realpath "$2")")
rounds=${3:-7}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

names=() commands=()
add() { names+=("$1"); commands+=("$2"); }
# A shared drawing of one multiline text in Arial, when the shared drawings are there.
arial=$(realpath -q "$here/../../../shared/data/drawings/2018/Text.dwg" || true)
[ -f "$arial" ] || arial=
add "dump --counts one.dxf" "${builds[0]}/tools/dump/lumicade-dump --counts $here/one.dxf"
if [ -n "$arial" ]; then add "dump --counts Text.dwg" "${builds[0]}/tools/dump/lumicade-dump --counts $arial"; fi
for b in "${builds[@]}"; do
    tag=$(basename "$(dirname "$b")")/$(basename "$b")
    for d in line styled one; do
        add "$tag convert $d.dxf" "$b/tools/convert/lumicade-convert --size 256 --output-dir $out/pictures $here/$d.dxf"
    done
    if [ -n "$arial" ]; then
        add "$tag convert Text.dwg" "$b/tools/convert/lumicade-convert --size 256 --output-dir $out/pictures $arial"
    fi
    add "$tag convert --version" "$b/tools/convert/lumicade-convert --version"
done
for r in $(seq "$rounds"); do
    for i in "${!commands[@]}"; do
        # shellcheck disable=SC2086
        perf stat -r 20 -e task-clock ${commands[$i]} 2>&1 >/dev/null | awk '/task-clock/ {print $1}' >>"$out/$i"
    done
done
for i in "${!commands[@]}"; do
    printf "%-40s %6s ms   rounds: %s\n" "${names[$i]}" \
        "$(sort -n "$out/$i" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')" "$(tr '\n' ' ' <"$out/$i")"
done
