#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it: its file list, its dependencies,
# lintian (no errors; warnings are shown), and the program unpacked into a temporary folder
# starting under Xvfb, registering itself from there and opening its help with F1.
# Usage: package-test.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../xvfb-lib.sh"
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() { echo "FAIL: $*"; fail=1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/pkg/tovira_*.deb)
echo "package: $(basename "$deb")"

# The file list.
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
for f in ./usr/bin/tovira ./usr/share/applications/io.github.tovira.tovira.desktop ./usr/share/metainfo/io.github.tovira.tovira.metainfo.xml ./usr/share/mime/packages/tovira.xml \
         ./usr/share/icons/hicolor/scalable/apps/tovira.svg ./usr/share/icons/hicolor/16x16/apps/tovira.png \
         ./usr/share/icons/hicolor/48x48/apps/tovira.png ./usr/share/icons/hicolor/256x256/apps/tovira.png \
         ./usr/share/tovira/help/Welcome.html ./usr/share/tovira/help/Equalizer.html \
         ./usr/share/tovira/help/Playlist.html ./usr/share/doc/tovira/copyright; do
  grep -qx "$f" "$work/files" || problem "the package lacks $f"
done

# The runtime libraries it needs on Debian 12.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
libs="libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 libqt6network6 libsdl2-2.0-0 libpulse0 libtag1v5 qt6-qpa-plugins"
# The SVG module only when the program links it (the skin may come pre-rendered).
if objdump -p "$build/src/app/tovira" | grep -q 'NEEDED.*libQt6Svg'; then libs="$libs libqt6svg6"; fi
for lib in $libs; do
  echo "$depends" | grep -q "\b$lib\b" || problem "Depends does not name $lib"
done

# lintian: errors fail, warnings are reported.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
grep -v '^running with root' "$work/lintian.log" || true
if grep -q '^E:' "$work/lintian.log"; then problem "lintian reports errors"; fi

# Unpacked anywhere, the program starts, finds its icon and help beside it, and registers itself.
root="$work/root"
dpkg-deb -x "$deb" "$root"
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_CACHE_HOME="$work/home/cache" XDG_RUNTIME_DIR="$work/run" SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
cat >"$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
set -u
"$1" & pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tovira$' | head -1)
[ -n "$win" ] || { echo "no player window"; kill $pid; exit 2; }
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate "$win" 2>/dev/null || true
sleep 0.5
xdotool key F1
help=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tovira Help' | head -1)
title=$(if [ -n "$help" ]; then xdotool getwindowname "$help"; fi)
kill $pid
wait $pid 2>/dev/null
[ -n "$help" ] || { echo "F1 opened no help window"; exit 3; }
echo "help window: $title"
case "$title" in *Welcome*) exit 0 ;; *) exit 4 ;; esac
SESSION
# A display of our own.
if with_xvfb 1024x768x24 bash "$work/session.sh" "$root/usr/bin/tovira" >"$work/session.log" 2>&1; then
  cat "$work/session.log" | grep "help window"
else
  cat "$work/session.log"; problem "the unpacked program did not open its help"
fi
entry="$XDG_DATA_HOME/applications/io.github.tovira.tovira.desktop"
if [ -f "$entry" ]; then
  grep -qx "Exec=$root/usr/bin/tovira %F" "$entry" || problem "registered Exec is not the unpacked program: $(grep ^Exec "$entry")"
  grep -qx "Icon=$root/usr/share/icons/hicolor/scalable/apps/tovira.svg" "$entry" || problem "registered icon is not the unpacked one: $(grep ^Icon "$entry")"
else
  problem "the unpacked program registered no desktop entry"
fi
[ $fail = 0 ] && echo "package: all checks passed"
exit $fail
