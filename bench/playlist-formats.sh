#!/usr/bin/env bash
# Playlist kinds: time and peak resident memory of `tovira-cli playlist FILE` for an M3U (with
# #EXTINF lines), a PLS (its keys in reverse order) and an XSPF of ENTRIES entries (100,000 by
# default). One entry in REAL_EVERY names one of 50 tagged files; the others are missing, so their
# rows show the playlist's own titles and lengths. Each list is then saved as every other kind
# with -o, and the saved file must print the same rows as the list it was saved from.
# Usage: bench/playlist-formats.sh [BUILD_DIR] [ENTRIES] [REAL_EVERY]   (needs lame and sox)
#   TOVIRA_CLI_BIN: another program to measure.
#   PLAYLIST_FORMATS_DIR: keep the generated files there (and reuse them) instead of a temporary folder.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../tests/xvfb-lib.sh"
build=${1:-build}
entries=${2:-100000}
every=${3:-4}
cli=${TOVIRA_CLI_BIN:-$build/tools/tovira-cli/tovira-cli}

need_tools lame sox bc /usr/bin/time
[ -n "${TOVIRA_CLI_BIN:-}" ] || cmake --build "$build" --target tovira-cli -j2 >/dev/null
if [ -n "${PLAYLIST_FORMATS_DIR:-}" ]; then
  work=$PLAYLIST_FORMATS_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d /tmp/tovira-playlist-formats.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
base=$work/list-$entries-$every
if [ ! -s "$base.xspf" ]; then
  mkdir -p "$work/real"
  sox -n -r 44100 -c 1 -b 16 "$work/silence.wav" trim 0 1
  for i in $(seq -w 1 50); do
    lame --quiet -b 32 --ta "Artist $((10#$i % 7))" --tt "Song $i" --tl "Album $((10#$i % 7))" \
      "$work/silence.wav" "$work/real/$i.mp3"
  done
  # Relative paths in the M3U and the PLS, file: URLs in the XSPF, as their writers have them.
  awk -v n="$entries" -v every="$every" -v dir="$work" -v base="$base" 'BEGIN {
    split("Amber Basalt Cobalt Delta Ember Fjord Granite Harbour Indigo Juniper Kestrel Lumen", w, " ")
    m3u = base ".m3u"; pls = base ".pls.tmp"; xspf = base ".xspf"
    print "#EXTM3U" > m3u
    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n  <trackList>" > xspf
    for (i = 0; i < n; ++i) {
      a = w[i % 12 + 1]; b = w[int(i / 12) % 12 + 1]
      if (i % every == 1) path = sprintf("real/%02d.mp3", i % 50 + 1)
      else path = sprintf("%s/%s %d/%02d %s.mp3", a, b, 1960 + i % 60, i % 20 + 1, b)
      secs = 60 + i % 400
      printf "#EXTINF:%d,%s - Song %d of %s\n%s\n", secs, a, i, b, path > m3u
      printf "%d File%d=%s\n%d Title%d=%s - Song %d of %s\n%d Length%d=%d\n", n - i, i + 1, path, n - i, i + 1, a, i, b, n - i, i + 1, secs > pls
      url = "file://" dir "/" path; gsub(/ /, "%20", url)
      printf "    <track><location>%s</location><creator>%s</creator><title>Song %d of %s</title><duration>%d</duration></track>\n", url, a, i, b, secs * 1000 > xspf
    }
    print "  </trackList>\n</playlist>" > xspf
  }'
  { echo "[playlist]"; echo "NumberOfEntries=$entries"; sort -n -s -k1,1 "$base.pls.tmp" | cut -d' ' -f2-; echo "Version=2"; } >"$base.pls"
  rm -f "$base.pls.tmp"
fi

failed=0
for kind in m3u pls xspf; do
  list=$base.$kind
  log=$work/time-$kind.txt
  /usr/bin/time -v "$cli" playlist "$list" >"$work/rows-$kind.txt" 2>"$log"
  rows=$(grep -E '^[0-9]+ rows' "$log" || true)
  kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  elapsed=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  printf '%-4s %6d lines, %6d KiB: %s; peak RSS %d MiB; %s elapsed\n' "$kind" "$(wc -l <"$list")" \
    $(($(stat -c %s "$list") / 1024)) "$rows" $((kb / 1024)) "$elapsed"
  for other in m3u pls xspf; do
    "$cli" playlist "$list" -o "$work/saved.$other" >/dev/null 2>&1
    "$cli" playlist "$work/saved.$other" >"$work/rows-saved.txt" 2>/dev/null
    if ! cmp -s "$work/rows-$kind.txt" "$work/rows-saved.txt"; then
      echo "  saved as $other: the rows differ"
      failed=1
    fi
  done
done
[ "$failed" = 0 ] && echo "every list saved as each kind reads back to the same rows"
exit "$failed"
