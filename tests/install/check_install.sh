#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree a Linux
# desktop expects: programs, the window's files, menu entry, icons,
# thumbnailer and manual pages.
#   check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
fail() { echo "FAIL: $*"; failed=1; }

expected=(
  bin/lumicade bin/lumicade-convert bin/lumicade-dump bin/lumicade-thumbnail libexec/lumicade/lumicade-export
  share/lumicade/HAND-M.CUR share/lumicade/drag.ico share/lumicade/Samples
  share/applications/lumicade.desktop share/thumbnailers/lumicade.thumbnailer
  share/icons/hicolor/scalable/apps/lumicade.svg
  share/man/man1/lumicade.1.gz share/man/man1/lumicade-convert.1.gz
  share/man/man1/lumicade-dump.1.gz share/man/man1/lumicade-thumbnail.1.gz
  share/doc/lumicade/README.md share/doc/lumicade/copyright share/doc/lumicade/scale-out.md
)
for f in "${expected[@]}"; do [ -e "$prefix/$f" ] || fail "$f is not installed"; done
for size in 16 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/lumicade.png
  # Width and height from the PNG header must match the folder's size.
  dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done
[ -n "$(ls "$prefix/share/lumicade/Samples")" ] || fail "the Samples folder is empty"
# Only programs go into bin: the window's files live in share/lumicade.
extra=$(ls "$prefix/bin" | grep -v '^lumicade' || true)
[ -z "$extra" ] || fail "bin holds more than programs: $extra"

desktop-file-validate "$prefix/share/applications/lumicade.desktop" || fail "the desktop entry does not validate"
grep -q '^MimeType=image/vnd.dwg;image/vnd.dxf;$' "$prefix/share/applications/lumicade.desktop" \
  || fail "the desktop entry does not open DWG and DXF"
thumbnailer=$(sed -n 's/^Exec=\([^ ]*\) .*/\1/p' "$prefix/share/thumbnailers/lumicade.thumbnailer")
[ -x "$prefix/bin/$thumbnailer" ] || fail "the thumbnailer runs $thumbnailer, which is not installed"

for program in lumicade lumicade-convert lumicade-dump lumicade-thumbnail; do
  out=$("$prefix/bin/$program" --version 2>&1) || true
  [ "$out" = "$program $version" ] || fail "$program --version says \"$out\""
  page=$(gzip -dc "$prefix/share/man/man1/$program.1.gz")
  ! grep -q '@[A-Z_]*@' <<<"$page" || fail "$program.1 has an unfilled placeholder"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z <<<"$page" 2>&1)
    [ -z "$warnings" ] || fail "$program.1: $warnings"
  fi
done
gzip -dc "$prefix/share/man/man1/lumicade.1.gz" | grep -q "$prefix/share/lumicade\|/share/lumicade" \
  || fail "lumicade.1 does not name the data folder"

# PDF underlays are drawn through a module beside the programs, where the
# build has Poppler.
if [ -e "$build/cad/render/lumicade-pdfpages.so" ]; then
  find "$prefix" -path '*/lib*/lumicade/lumicade-pdfpages.so' | grep -q . || fail "the PDF module is not installed"
fi

# What the converter paints through Qt is a module beside the programs, which
# the installed converter finds: PNG pictures are always painted through it.
find "$prefix" -path '*/lib*/lumicade/lumicade-convert-qt.so' | grep -q . || fail "the converter's Qt module is not installed"
sample=$(ls "$prefix"/share/lumicade/Samples/* | head -1)
"$prefix/bin/lumicade-convert" --format png --size 64 --output-dir "$prefix/png" "$sample" >/dev/null 2>&1 \
  || fail "the installed converter cannot paint through its Qt module"
[ -n "$(ls "$prefix/png" 2>/dev/null)" ] || fail "no PNG picture written"

# The window's worker starts from its installed place, and refuses to be run by hand.
status=0
"$prefix/libexec/lumicade/lumicade-export" </dev/null >/dev/null 2>&1 || status=$?
[ $status = 2 ] || fail "the installed lumicade-export run by hand ends with $status, not 2"

# The installed thumbnailer works from its installed place.
"$prefix/bin/lumicade-thumbnail" -s 48 "$(ls "$prefix"/share/lumicade/Samples/* | head -1)" "$prefix/t.png" \
  || fail "the installed thumbnailer fails on a sample"
[ -s "$prefix/t.png" ] || fail "no thumbnail written"

[ $failed = 0 ] && echo "installed tree complete"
exit $failed
