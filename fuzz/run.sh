#!/usr/bin/env bash
# Builds every libFuzzer target in fuzz/ with clang and runs each for a set
# time, seeded with the test drawings. A crash stops the run and leaves the
# input that caused it in build-fuzz/fuzz/artifacts/.
#
#   fuzz/run.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
LUMICADE_WITH_CLANG=1 bash scripts/setup.sh   # clang and its fuzzer runtime
seconds="${1:-60}"
shift || true
targets=("$@")
build=build-fuzz
drawings="$(cd .. && pwd)/shared/data/drawings"
legacy="$(cd .. && pwd)/shared/data/legacy-drawings"
saved="$(cd .. && pwd)/shared/data/drawings-b"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DLUMICADE_FUZZ=ON -DLUMICADE_ENGINE_ONLY=ON -DLUMICADE_TESTS=OFF -DLUMICADE_BENCH=OFF >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  cmake --build "$build" --target lumicade_fuzzers -j2
else
  cmake --build "$build" --target "${targets[@]}" -j2
fi

mkdir -p "$build/fuzz/artifacts"
status=0
for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name="$(basename "$target")"
  if [ ${#targets[@]} -gt 0 ] && [[ " ${targets[*]} " != *" $name "* ]]; then continue; fi
  corpus="$build/fuzz/corpus/$name"   # new inputs go here; the drawings are only read
  mkdir -p "$corpus"
  echo "== $name for ${seconds}s"
  seeds=()   # the drawings, where this checkout has them beside it
  for folder in "$drawings" "$legacy" "$saved"; do [ -d "$folder" ] && seeds+=("$folder"); done
  if ! "$target" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
       -timeout=10 -artifact_prefix="$build/fuzz/artifacts/$name-" -print_final_stats=1 2>"$build/fuzz/$name.log"; then
    echo "!! $name failed; see $build/fuzz/$name.log"
    tail -n 30 "$build/fuzz/$name.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb|cov:" "$build/fuzz/$name.log" | tail -n 3
  fi
done
exit $status
