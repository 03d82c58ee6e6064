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
# Until the player window exists the command-line tool shows what it reads from the bundled sample.
if [ $# -eq 0 ]; then set -- info res/samples/sample.mp3; fi
exec build/tools/tovira-cli/tovira-cli "$@"
