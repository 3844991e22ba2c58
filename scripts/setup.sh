#!/usr/bin/env bash
# Installs what Lumicade needs to build, run and test, when it is missing.
set -euo pipefail
need=()
# One package a line, so that additions merge cleanly.
pkgs=(
  cmake
  g++
  qt6-base-dev
  qt6-svg-dev
  qt6-image-formats-plugins
  libturbojpeg0-dev
  libjpeg62-turbo-dev
  libgtest-dev
  libbenchmark-dev
  xvfb
  xauth
  fonts-dejavu-core
  fonts-liberation
  fonts-liberation2
  fonts-wqy-microhei
  hershey-fonts-data
  pkg-config
  libfontconfig-dev
  libfreetype-dev
  libharfbuzz-dev
  fontconfig
  parallel
  libpoppler-qt6-dev
  zlib1g-dev
)
[ "${LUMICADE_WITH_CLANG:-0}" = 1 ] && pkgs+=(clang libclang-rt-14-dev)
# The installed tree's checks: the menu entry, the .deb's library dependencies, manual pages.
pkgs+=(desktop-file-utils dpkg-dev groff-base)
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
