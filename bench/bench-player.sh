#!/usr/bin/env bash
# Figures of the player window under a virtual X server (run by hand, not a test):
#   launch  - time from starting the program to its window being on the screen (median of 7)
#   playing - CPU of the whole process over 60 s of playing, with the spectrum and the 10 ms
#             time text running (SDL's dummy driver stands in for the sound card)
#   memory  - resident memory while playing
#   stopped - CPU over 20 s with nothing playing
# Usage: bench/bench-player.sh [BUILD_DIR] [SECONDS_PLAYING]
# Needs xvfb-run and xwininfo (scripts/install-deps.sh), sox and lame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-60}
program=$build/src/app/tovira
[ -x "$program" ] || { echo "bench-player: build the tovira target first ($program)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

# Real music where Debian's package is installed; otherwise a sweeping chord.
song=$work/music_128_js.mp3
if ! bash "$root/bench/make-music.sh" "$work" >/dev/null 2>&1; then
  sox -q -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((seconds + 20)) sine 200-2000 sine 3000-300 gain -6
  lame --quiet -b 128 -m j "$work/tone.wav" "$song"
fi

cat >"$work/inside.sh" <<'INSIDE'
set -eu
# The server may still be coming up on a busy machine.
for _ in $(seq 1 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Launch: the first moment a window named Tovira exists.
launches=()
for _ in 1 2 3 4 5 6 7; do
  start=$(date +%s%N)
  "$PROGRAM" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -name Tovira >/dev/null 2>&1; do sleep 0.002; done
  launches+=($(( ($(date +%s%N) - start) / 1000000 )))
  kill -TERM $pid; wait $pid || true
done
median=$(printf '%s\n' "${launches[@]}" | sort -n | sed -n 4p)
echo "launch to window shown: median ${median} ms (runs: ${launches[*]})"

# Stopped.
"$PROGRAM" >/dev/null 2>&1 &
pid=$!
until xwininfo -name Tovira >/dev/null 2>&1; do sleep 0.01; done
sleep 3
t0=$(ticks $pid); sleep 20; t1=$(ticks $pid)
echo "CPU stopped: $(awk -v d=$((t1 - t0)) -v hz=$hz 'BEGIN { printf "%.2f", 100 * d / hz / 20 }') % of one core over 20 s"
kill -TERM $pid; wait $pid || true

# Playing.
"$PROGRAM" "$SONG" >/dev/null 2>&1 &
pid=$!
sleep 3
t0=$(ticks $pid); sleep "$SECONDS_PLAYING"; t1=$(ticks $pid)
rss=$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)
hwm=$(awk '/^VmHWM/ {print $2}' /proc/$pid/status)
echo "CPU playing: $(awk -v d=$((t1 - t0)) -v hz=$hz -v s=$SECONDS_PLAYING 'BEGIN { printf "%.2f", 100 * d / hz / s }') % of one core over $SECONDS_PLAYING s"
echo "resident memory playing: $((rss / 1024)) MB (peak $((hwm / 1024)) MB)"
kill -TERM $pid; wait $pid || true
INSIDE

PROGRAM=$program SONG=$song SECONDS_PLAYING=$seconds xvfb-run -a -n "$((200 + RANDOM % 600))" -s '-screen 0 1024x768x24' bash "$work/inside.sh"
