#!/usr/bin/env bash
# Makes the Layer III benchmark input from real music: five minutes of the game soundtrack in
# Debian's drascula-music package (Ogg Vorbis, 44.1 kHz stereo), transcoded with lame to
# 128 kbit/s joint stereo. The music itself is not part of the repository.
# The same music as variable bit rate (lame -V2) serves the seek benchmark.
# Usage: bench/make-music.sh OUTDIR    -> OUTDIR/music_128_js.mp3, OUTDIR/music_v2.mp3
set -euo pipefail
out=${1:?usage: make-music.sh OUTDIR}
src=/usr/share/scummvm/drascula/audio
if [ ! -d "$src" ]; then
  echo "make-music: $src not found; install drascula-music (scripts/install-deps.sh --bench)" >&2
  exit 1
fi
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tracks=()
for n in 1 2 3 4 5 6; do tracks+=("$src/track$n.ogg"); done
sox -q "${tracks[@]}" -r 44100 -c 2 -b 16 "$tmp/music.wav" trim 0 300
lame --quiet -b 128 -m j "$tmp/music.wav" "$out/music_128_js.mp3"
lame --quiet -V 2 "$tmp/music.wav" "$out/music_v2.mp3"
echo "benchmark music in $out/music_128_js.mp3 and $out/music_v2.mp3"
