#!/usr/bin/env bash
# Installs what is missing, builds Tovira and starts it. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default -DTOVIRA_BUILD_TESTS=OFF -DTOVIRA_BUILD_BENCH=OFF
cmake --build --preset default -j "$(nproc)"
if [ -x build/src/app/tovira ]; then
  exec build/src/app/tovira "$@"
fi
# Until the player window exists the command-line tool stands in: by default it shows what it
# reads from the bundled sample and plays it (silently, with a notice, where there is no sound device).
cli=build/tools/tovira-cli/tovira-cli
if [ $# -eq 0 ]; then
  "$cli" info res/samples/sample.mp3
  exec "$cli" play res/samples/sample.mp3
fi
exec "$cli" "$@"
