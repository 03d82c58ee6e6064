#!/usr/bin/env bash
# Makes the benchmark's long test files with Debian's encoders: two minutes of noise and a
# sweeping tone, so every sub-band is busy, as Layer II at 192 kbit/s.
# Usage: make-bench-input.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-bench-input.sh OUTDIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -q -n -r 44100 -c 2 -b 16 "$tmp/long.wav" synth 120 pinknoise sine 220-3520 gain -8
twolame --quiet -b 192 "$tmp/long.wav" "$out/l2_long.mp2"
echo "benchmark input in $out"
