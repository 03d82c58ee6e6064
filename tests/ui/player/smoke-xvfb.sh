#!/usr/bin/env bash
# The real program under a virtual X server: it starts with a tagged file, shows a window titled
# from the tags, plays, takes a second start's file into its playlist, and on SIGTERM closes
# cleanly, saving its settings and its playlist.
# Usage: smoke-xvfb.sh PATH/TO/tovira FIXTURE_DIR      (exit 77: skipped)
set -euo pipefail
. "$(dirname "$0")/../../xvfb-lib.sh"
program=$1
fixtures=$2
need_tools Xvfb xwininfo lame

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
throwaway_home "$work"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

song=$work/smoke.mp3
lame --quiet -b 128 --add-id3v2 --ta "Smoke Ärtist" --tt "Smoke Title" "$fixtures/s44.wav" "$song"
# A playlist kept from an earlier run: loaded at start, written back at exit.
kept=$fixtures/l2_44k_192.mp2
printf '%s\r\n' "$kept" >"$XDG_DATA_HOME/Tovira/tovira/tvra.dfl"

cat >"$work/inside.sh" <<'INSIDE'
set -u
# The server may still be coming up on a busy machine.
for _ in $(seq 1 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
"$PROGRAM" "$SONG" >"$WORK/out.log" 2>&1 &
pid=$!
want="Smoke Ärtist - Smoke Title - Tovira"
for _ in $(seq 1 200); do
  if xwininfo -root -tree 2>/dev/null | grep -qF "\"$want\""; then break; fi
  sleep 0.1
done
if ! xwininfo -root -tree | grep -qF "\"$want\""; then
  echo "FAIL: no window titled \"$want\""; xwininfo -root -tree | grep -i tovira; cat "$WORK/out.log"; kill -9 $pid; exit 1
fi
sleep 1
if ! kill -0 $pid 2>/dev/null; then echo "FAIL: the program ended while playing"; exit 1; fi
# A second start hands its file to the first and ends; the file joins the playlist with the next
# batch, or at the latest when the window closes.
if ! timeout 20 "$PROGRAM" "$SECOND" >>"$WORK/out.log" 2>&1; then
  echo "FAIL: the second start did not hand over"; cat "$WORK/out.log"; kill -9 $pid; exit 1
fi
kill -TERM $pid
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "FAIL: still running 10 s after SIGTERM"; cat "$WORK/out.log"; kill -9 $pid; exit 1; fi
wait $pid
status=$?
if [ $status -ne 0 ]; then echo "FAIL: exit status $status"; cat "$WORK/out.log"; exit 1; fi
echo "window shown, played, closed on SIGTERM"
INSIDE

second=$work/second.mp3
cp "$fixtures/l3_22k_64.mp3" "$second"
PROGRAM=$program SONG=$song SECOND=$second WORK=$work with_xvfb 1024x768x24 bash "$work/inside.sh"

conf=$XDG_CONFIG_HOME/Tovira/tovira.conf
grep -q '^Vol=50' "$conf" || { echo "FAIL: no volume in $conf"; cat "$conf" 2>/dev/null; exit 1; }
grep -q '^ShowPl=1' "$conf" || { echo "FAIL: no ShowPl in $conf"; exit 1; }
grep -q '^ShowEq=1' "$conf" || { echo "FAIL: no ShowEq in $conf"; exit 1; }
grep -qF "$kept" "$XDG_DATA_HOME/Tovira/tovira/tvra.dfl" || { echo "FAIL: playlist not saved"; exit 1; }
grep -qF "$second" "$XDG_DATA_HOME/Tovira/tovira/tvra.dfl" || { echo "FAIL: the handed-over file is not in the saved playlist"; exit 1; }
echo "settings and playlist saved"
