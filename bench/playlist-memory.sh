#!/usr/bin/env bash
# Playlist memory: peak resident memory of `tovira-cli playlist` and of the player window with an
# M3U of LINES entries (1,000,000 by default). One entry in REAL_EVERY names one of 50 tagged
# files, so its row has every text; the others are missing, which keeps their rows with the file
# name as title. The window's figures are taken once the whole list is in, with the M3U on the
# command line and again at the next start, which reads the list back from the default playlist.
# Usage: bench/playlist-memory.sh [BUILD_DIR] [LINES] [REAL_EVERY]   (needs lame and sox; xvfb-run for the window)
#   TOVIRA_BIN, TOVIRA_CLI_BIN: other programs to measure (an earlier build, say).
#   PLAYLIST_MEMORY_DIR: keep the generated files there (and reuse them) instead of a temporary folder.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../tests/xvfb-lib.sh"
build=${1:-build}
lines=${2:-1000000}
every=${3:-4}
cli=${TOVIRA_CLI_BIN:-$build/tools/tovira-cli/tovira-cli}
player=${TOVIRA_BIN:-$build/src/app/tovira}

if [ "${TOVIRA_INSIDE_XVFB:-}" != 1 ]; then
  need_tools lame sox bc /usr/bin/time
  if [ -z "${TOVIRA_CLI_BIN:-}" ] || [ -z "${TOVIRA_BIN:-}" ]; then
    cmake --build "$build" --target tovira-cli tovira -j2 >/dev/null
  fi
  if [ -n "${PLAYLIST_MEMORY_DIR:-}" ]; then
    work=$PLAYLIST_MEMORY_DIR
    mkdir -p "$work"
  else
    work=$(mktemp -d /tmp/tovira-playlist-memory.XXXXXX)
    trap 'rm -rf "$work"' EXIT
  fi
  list=$work/list-$lines-$every.m3u
  if [ ! -s "$list" ]; then
    mkdir -p "$work/real"
    # A second of mono silence: the rows are what is measured, not the files.
    sox -n -r 44100 -c 1 -b 16 "$work/silence.wav" trim 0 1
    for i in $(seq -w 1 50); do
      lame --quiet -b 32 --ta "Artist of Album $((10#$i % 7))" --tt "Song number $i of the collection" \
        --tl "The Album Title $((10#$i % 7))" --ty "19$((60 + 10#$i))" --tg Rock "$work/silence.wav" "$work/real/$i.mp3"
    done
    # Relative lines as a music folder's playlist has them: artist/album/track, a few dozen bytes.
    awk -v n="$lines" -v every="$every" 'BEGIN {
      split("Amber Basalt Cobalt Delta Ember Fjord Granite Harbour Indigo Juniper Kestrel Lumen", w, " ")
      for (i = 0; i < n; ++i) {
        if (i % every == 1) { printf "real/%02d.mp3\n", i % 50 + 1; continue }
        a = w[i % 12 + 1]; b = w[int(i / 12) % 12 + 1]; c = w[int(i / 144) % 12 + 1]
        printf "%s %s/%s (%d)/%02d %s %s.mp3\n", a, b, c, 1960 + i % 60, i % 20 + 1, b, a
      }
    }' >"$list"
  fi
  echo "playlist: $list, $lines lines, $(($(stat -c %s "$list") / 1024)) KiB, every ${every}th line a real file"

  log=$work/time.txt
  start=$(date +%s.%N)
  /usr/bin/time -v "$cli" playlist "$list" >/dev/null 2>"$log"
  end=$(date +%s.%N)
  rows=$(grep -E '^[0-9]+ rows' "$log" || true)
  kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  printf 'tovira-cli playlist: %s; peak RSS %d MiB; %.1f s\n' "$rows" $((kb / 1024)) "$(echo "$end - $start" | bc)"

  if ! command -v xvfb-run >/dev/null; then
    echo "window: skipped, xvfb-run is not installed"
    exit 0
  fi
  TOVIRA_INSIDE_XVFB=1 WORK=$work LIST=$list xvfb-run -a -n "$((200 + RANDOM % 600))" -s '-screen 0 1024x768x24' \
    bash "${BASH_SOURCE[0]}" "$build" "$lines" "$every"
  exit $?
fi

# Inside the virtual X server: the real program, with folders of its own.
throwaway_home "$WORK/user-$$"
export SDL_AUDIODRIVER=dummy
unset DBUS_SESSION_BUS_ADDRESS
dfl=$XDG_DATA_HOME/Tovira/tovira/tvra.dfl

# Starts the program with the arguments, waits until the list is in and ends it. Loaded: no CPU
# used for two seconds in a row (the load thread, the row deliveries and the autosave all spend
# some).
measure_window() {
  local label=$1
  shift
  local start end pid now last=-1 quiet=0 rss hwm
  start=$(date +%s.%N)
  "$player" "$@" >>"$WORK/player.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 1200); do
    sleep 0.5
    [ -d "/proc/$pid" ] || { echo "window: the program ended early"; cat "$WORK/player.log"; exit 1; }
    now=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    if [ "$now" -le $((last + 1)) ]; then quiet=$((quiet + 1)); else quiet=0; fi
    last=$now
    [ "$quiet" -ge 4 ] && break
  done
  end=$(date +%s.%N)
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
  kill -TERM "$pid"
  wait "$pid" || true
  printf '%s: %d entries saved at exit; resident %d MiB once loaded, peak %d MiB; loaded in %.1f s\n' "$label" \
    "$(wc -l <"$dfl" 2>/dev/null || echo 0)" $((rss / 1024)) $((hwm / 1024)) "$(echo "$end - $start - 2" | bc)"
}

measure_window "window, the M3U on the command line" "$LIST"
# The next start reads the same list back from the default playlist.
measure_window "window, the next start (default playlist)"
rm -rf "$WORK/user-$$"
