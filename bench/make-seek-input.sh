#!/usr/bin/env bash
# Makes the seek benchmark's long input with Debian's encoders: ten minutes of noise and a
# sweeping tone as Layer III at 320 kbit/s (about 24 MB, some 23000 frames).
# Usage: make-seek-input.sh OUTDIR   -> OUTDIR/long_320.mp3
set -euo pipefail
out=${1:?usage: make-seek-input.sh OUTDIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -q -n -r 44100 -c 2 -b 16 "$tmp/long.wav" synth 600 pinknoise sine 220-3520 gain -8
lame --quiet -b 320 "$tmp/long.wav" "$out/long_320.mp3"
echo "seek benchmark input in $out/long_320.mp3"
