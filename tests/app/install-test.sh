#!/usr/bin/env bash
# Installs the build into a temporary root and checks what lands under the prefix:
# program, help, desktop entry (validated), software-centre metainfo (validated, naming that entry),
# MIME package, icons (SVG and every PNG size).
# Usage: install-test.sh BUILD_DIR EXPECT_PROGRAM(0|1)
set -euo pipefail
build=$1
expect_program=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/usr"
fail=0
need() { if [ ! -f "$usr/$1" ]; then echo "missing: /usr/$1"; fail=1; fi; }

if [ "$expect_program" = 1 ]; then
  need bin/tovira
  [ -x "$usr/bin/tovira" ] || { echo "/usr/bin/tovira is not executable"; fail=1; }
fi
for topic in Welcome Equalizer Playlist; do need "share/tovira/help/$topic.html"; done
need share/applications/io.github.tovira.tovira.desktop
need share/metainfo/io.github.tovira.tovira.metainfo.xml
need share/mime/packages/tovira.xml
need share/icons/hicolor/scalable/apps/tovira.svg
need share/doc/tovira/copyright
need share/doc/tovira/changelog.gz
need share/man/man1/tovira.1.gz
for size in 16 22 24 32 48 64 128 256; do
  png="share/icons/hicolor/${size}x${size}/apps/tovira.png"
  need "$png"
  if [ -f "$usr/$png" ] && ! file "$usr/$png" | grep -q "PNG image data, $size x $size"; then
    echo "/usr/$png is not a $size x $size PNG: $(file -b "$usr/$png")"; fail=1
  fi
done

entry="$usr/share/applications/io.github.tovira.tovira.desktop"
if [ -f "$entry" ]; then
  out=$(desktop-file-validate "$entry" 2>&1) || { echo "desktop-file-validate: $out"; fail=1; }
  if echo "$out" | grep -qi error; then echo "desktop-file-validate: $out"; fail=1; fi
  grep -qx 'Exec=tovira %F' "$entry" || { echo "installed entry does not start tovira by name"; fail=1; }
  grep -qx 'Icon=tovira' "$entry" || { echo "installed entry does not name the themed icon"; fail=1; }
fi
metainfo="$usr/share/metainfo/io.github.tovira.tovira.metainfo.xml"
if [ -f "$metainfo" ]; then
  # A software centre finds the program through the entry its metainfo names, by the entry's file name.
  launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  [ -f "$usr/share/applications/$launchable" ] || { echo "metainfo names the entry '$launchable', which is not installed"; fail=1; }
  id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
  [ "$id.desktop" = "$launchable" ] || { echo "metainfo id $id does not match its entry $launchable"; fail=1; }
  if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || { echo "appstreamcli: $out"; fail=1; }
    if echo "$out" | grep -qE '^[EWIP]:'; then echo "appstreamcli (pedantic): $out"; fail=1; fi
  else
    echo "install: appstreamcli is not installed; the metainfo file was not validated"
  fi
fi
# The MIME package is well-formed enough for the database tool.
if command -v update-mime-database >/dev/null; then
  update-mime-database "$usr/share/mime" >/dev/null 2>&1 || { echo "update-mime-database refused the package"; fail=1; }
  grep -q ':audio/mpeg:\*\.mp1' "$usr/share/mime/globs2" || { echo "no *.mp1 glob after update-mime-database"; fail=1; }
fi
[ $fail = 0 ] && echo "install: all present"
exit $fail
