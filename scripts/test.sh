#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs every test through CTest:
# first the whole program and its .deb, then the drawing engine again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the renderer's fuzz
# target for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMICADE_WERROR=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test --output-on-failure -j"$jobs"
# The .deb built from what was just tested: its file list and dependencies.
bash packaging/check-deb.sh build-test

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLUMICADE_WERROR=ON -DLUMICADE_SANITIZE=ON \
      -DLUMICADE_ENGINE_ONLY=ON -DLUMICADE_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L engine

# Any bytes read as a drawing and drawn: a minute of the renderer's fuzz
# target (clang), each input within 10 s and 2 GB. A crash, leak, timeout or
# out-of-memory fails the run and leaves its input in build-fuzz/fuzz/artifacts/.
bash fuzz/run.sh 60 fuzz_render
