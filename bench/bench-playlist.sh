#!/usr/bin/env bash
# Playlist window figures: OK in the folder picker on 10,000 tagged files until every row shows
# its tags, and resident memory with 100,000 rows.
# Usage: bench/bench-playlist.sh [BUILD_DIR] [FILES] [ROWS]   (needs sox and lame)
set -euo pipefail
build=${1:-build}
files=${2:-10000}
rows=${3:-100000}
cmake --build "$build" --target tovira-bench-playlist -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One second of tone at 64 kbit/s: small files, so the figure is about the playlist, not the disk.
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 1 sine 440 vol 0.3
lame --quiet -b 64 "$work/tone.wav" "$work/base.mp3"
"$build/bench/tovira-bench-playlist" "$work/base.mp3" "$files" "$rows"
