#!/usr/bin/env bash
# Installs what is missing, builds Tovira twice (optimised, and with ASan+UBSan) and runs the whole suite in both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake --preset default -DTOVIRA_BUILD_TESTS=ON
cmake --build --preset default -j "$jobs"
ctest --preset default

cmake --preset asan -DTOVIRA_BUILD_TESTS=ON
cmake --build --preset asan -j "$jobs"
ctest --preset asan
