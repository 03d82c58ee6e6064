#!/usr/bin/env bash
# Installs what is missing, builds Tovira and starts the player with the given file, or with the
# bundled sample when none is given. Without a display the sample plays in the terminal instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default -DTOVIRA_BUILD_TESTS=OFF -DTOVIRA_BUILD_BENCH=OFF
cmake --build --preset default -j "$(nproc)"
sample=res/samples/sample.mp3
if [ -x build/src/app/tovira ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  if [ $# -eq 0 ]; then set -- "$sample"; fi
  exec build/src/app/tovira "$@"
fi
# No display: the command-line tool shows what it reads and plays it (silently, with a notice,
# where there is no sound device).
echo "run.sh: no display (DISPLAY is not set); playing in the terminal with tovira-cli instead"
cli=build/tools/tovira-cli/tovira-cli
file=${1:-$sample}
"$cli" info "$file"
exec "$cli" play "$file"
