#!/usr/bin/env bash
# Builds the .deb from a configured and built build folder and checks its
# file list and dependencies.
#   packaging/check-deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$out" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/lumicade_*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
failed=0
for f in /usr/bin/lumicade /usr/bin/lumicade-convert /usr/bin/lumicade-dump /usr/bin/lumicade-thumbnail \
         /usr/share/lumicade/HAND-M.CUR /usr/share/lumicade/drag.ico /usr/share/lumicade/Samples/ \
         /usr/share/applications/lumicade.desktop /usr/share/thumbnailers/lumicade.thumbnailer \
         /usr/share/icons/hicolor/scalable/apps/lumicade.svg /usr/share/icons/hicolor/48x48/apps/lumicade.png \
         /usr/share/man/man1/lumicade.1 /usr/share/man/man1/lumicade-convert.1 \
         /usr/share/man/man1/lumicade-dump.1 /usr/share/man/man1/lumicade-thumbnail.1 \
         /usr/share/doc/lumicade/README.md; do
  grep -qxF "$f" <<<"$files" || { echo "FAIL: the package lacks $f"; failed=1; }
done
# Nothing outside /usr, and no build-tree leftovers.
stray=$(grep -v '^/usr/\|^/$\|^/usr$' <<<"$files" || true)
[ -z "$stray" ] || { echo "FAIL: files outside /usr: $stray"; failed=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libturbojpeg0 libstdc++6 fonts-dejavu-core shared-mime-info; do
  grep -q "\b$d\b" <<<"$depends" || { echo "FAIL: the package does not depend on $d ($depends)"; failed=1; }
done
[ $failed = 0 ] && echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
exit $failed
