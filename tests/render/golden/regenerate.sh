#!/bin/sh
# Paints the golden pictures again, when a change to them is meant: look at
# every picture git shows as changed before committing it.
# Usage: tests/render/golden/regenerate.sh [BUILD_DIR]   (default: build)
set -e
build=${1:-build}
cmake --build "$build" --target test_render_raster
LUMICADE_REGENERATE_GOLDEN=1 QT_QPA_PLATFORM=offscreen \
  "$build/tests/render/test_render_raster" --gtest_filter='GoldenPictures.*:RasterPainter.*'
git -C "$(dirname "$0")" status --short .
