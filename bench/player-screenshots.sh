#!/usr/bin/env bash
# Screenshots of the player window under a virtual X server, to look at: stopped, playing (with
# the spectrum moving), paused, the About box, and an error line; then, under the openbox window manager where
# it is installed, the three windows docked (tests/ui/companions/run-under-xvfb.sh --wm openbox with
# TOVIRA_TEST_SHOTS=DIR also grabs them mid-slide). Usage: bench/player-screenshots.sh [BUILD_DIR] [OUTDIR]
# Needs xvfb-run, ImageMagick's import and xdotool (scripts/install-deps.sh --bench).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-/tmp}
program=$build/src/app/tovira
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
song=$work/music_128_js.mp3
bash "$root/bench/make-music.sh" "$work" >/dev/null 2>&1 || cp "$root/res/samples/sample.mp3" "$song"

cat >"$work/inside.sh" <<'INSIDE'
set -eu
# The server may still be coming up on a busy machine.
for _ in $(seq 1 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
shot() { import -window root "$OUT/$1"; echo "$OUT/$1"; }
"$PROGRAM" >/dev/null 2>&1 &
pid=$!
until xwininfo -name Tovira >/dev/null 2>&1; do sleep 0.05; done
sleep 4
shot tovira-stopped.png
kill -TERM $pid; wait $pid || true

"$PROGRAM" "$SONG" >/dev/null 2>&1 &
pid=$!
sleep 4
shot tovira-playing.png
# The player window, whichever track its title names (the companions are named for what they are).
win=""
for w in $(xdotool search --onlyvisible --name Tovira); do
  case "$(xdotool getwindowname "$w")" in *Equalizer*|*Playlist*) ;; *) win=$w ;; esac
done
xdotool windowfocus --sync "$win" 2>/dev/null || true
# Paused: the time stands, the bars have fallen (the display stops ticking once they have).
xdotool key space || true
sleep 2
shot tovira-paused.png
xdotool key space || true
sleep 1
# The About button sits at the right end of the position slider's row.
xdotool mousemove --window "$win" 370 137 click 1
sleep 1
shot tovira-about.png
xdotool key Escape || true
kill -TERM $pid; wait $pid || true

# A file that is not there: the error line over the track panel.
"$PROGRAM" "$WORK/not-there.mp3" >/dev/null 2>&1 &
pid=$!
until xwininfo -name Tovira >/dev/null 2>&1; do sleep 0.05; done
sleep 1
shot tovira-error.png
kill -TERM $pid; wait $pid || true

# Under a window manager, which stacks what it maps on top: the player must stay above its companions.
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  "$PROGRAM" "$SONG" >/dev/null 2>&1 &
  pid=$!
  sleep 3
  shot tovira-openbox-docked.png
  kill -TERM $pid; wait $pid || true
  kill $wm || true
fi
INSIDE
PROGRAM=$program SONG=$song OUT=$out WORK=$work xvfb-run -a -n "$((200 + RANDOM % 600))" -s '-screen 0 1024x768x24' bash "$work/inside.sh"
