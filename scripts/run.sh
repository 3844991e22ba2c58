#!/usr/bin/env bash
# Sets up, builds and starts Lumicade.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLUMICADE_TESTS=OFF -DLUMICADE_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target lumicade
exec ./build/app/lumicade "$@"
