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
         /usr/libexec/lumicade/lumicade-export \
         /usr/share/lumicade/HAND-M.CUR /usr/share/lumicade/drag.ico /usr/share/lumicade/Samples/ \
         /usr/share/applications/lumicade.desktop /usr/share/thumbnailers/lumicade.thumbnailer \
         /usr/share/icons/hicolor/scalable/apps/lumicade.svg /usr/share/icons/hicolor/48x48/apps/lumicade.png \
         /usr/share/man/man1/lumicade.1.gz /usr/share/man/man1/lumicade-convert.1.gz \
         /usr/share/man/man1/lumicade-dump.1.gz /usr/share/man/man1/lumicade-thumbnail.1.gz \
         /usr/share/doc/lumicade/README.md /usr/share/doc/lumicade/copyright; do
  grep -qxF "$f" <<<"$files" || { echo "FAIL: the package lacks $f"; failed=1; }
done
grep -q '^/usr/lib/.*lumicade/lumicade-convert-qt\.so$' <<<"$files" || { echo "FAIL: the package lacks the converter's Qt module"; failed=1; }
# Nothing outside /usr, and no build-tree leftovers.
stray=$(grep -v '^/usr/\|^/$\|^/usr$' <<<"$files" || true)
[ -z "$stray" ] || { echo "FAIL: files outside /usr: $stray"; failed=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libjpeg62-turbo libstdc++6 libfontconfig1 fonts-dejavu-core shared-mime-info \
         hershey-fonts-data fonts-liberation2 fonts-wqy-microhei; do
  grep -q "\b$d\b" <<<"$depends" || { echo "FAIL: the package does not depend on $d ($depends)"; failed=1; }
done
# The font packages must hold what the engine asks for: the Hershey faces
# from the folder it reads, the Liberation twins by family name, and a face
# that covers Chinese (and with it Japanese and Korean) for CJK text.
has_face() {  # package, fontconfig query
  local f
  for f in $(dpkg -L "$1" 2>/dev/null | grep -E '\.(ttf|ttc|otf)$'); do
    fc-list "$2" file | grep -qF "$f" && return 0
  done
  return 1
}
dpkg -L hershey-fonts-data 2>/dev/null | grep -qx /usr/share/hershey-fonts/rowmans.jhf \
  || { echo "FAIL: hershey-fonts-data lacks /usr/share/hershey-fonts/rowmans.jhf"; failed=1; }
has_face fonts-liberation2 'Liberation Sans' || { echo "FAIL: fonts-liberation2 gives no Liberation Sans"; failed=1; }
has_face fonts-liberation2 'Liberation Serif' || { echo "FAIL: fonts-liberation2 gives no Liberation Serif"; failed=1; }
has_face fonts-liberation2 'Liberation Mono' || { echo "FAIL: fonts-liberation2 gives no Liberation Mono"; failed=1; }
has_face fonts-wqy-microhei ':lang=zh-cn' || { echo "FAIL: fonts-wqy-microhei covers no Chinese"; failed=1; }
[ $failed = 0 ] && echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
exit $failed
