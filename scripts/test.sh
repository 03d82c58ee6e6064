#!/usr/bin/env bash
# Installs what is missing, builds Tovira twice (optimised, and with ASan+UBSan) and runs the whole suite in both;
# warnings fail these builds, never the user's (scripts/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
jobs=$(nproc)

# The ci preset is the default build with warnings as errors; so are the sanitizer builds.
cmake --preset ci
cmake --build --preset ci -j "$jobs"
ctest --preset ci

cmake --preset asan -DTOVIRA_BUILD_TESTS=ON
cmake --build --preset asan -j "$jobs"
ctest --preset asan

# The threaded parts once more under ThreadSanitizer: the engine, the output queue, the playlist loader,
# and the playback session over them.
cmake --preset tsan -DTOVIRA_BUILD_TESTS=ON
cmake --build --preset tsan -j "$jobs" --target engine_states_test engine_playback_test engine_notify_test engine_seek_test \
  engine_destroyed_test output_wave_output_test playlist_test_playlist_load playlist_test_playlist_files session_test
ctest --preset tsan -R '(^|/)(Engine|WaveOutput|NullDevice|WavFileDevice|PlaylistLoad|DefaultPlaylist|Session)'
