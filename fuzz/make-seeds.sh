#!/usr/bin/env bash
# Rebuilds the committed seed corpora from the project's own test fixtures
# (tests/fixtures/make-fixtures.sh). Usage: fuzz/make-seeds.sh FIXTURE_DIR
set -euo pipefail
fixtures=${1:?usage: make-seeds.sh FIXTURE_DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/corpus/decode" "$here/corpus/xing"
for f in "$fixtures"/*.mp3 "$fixtures"/*.mp2; do
  name=$(basename "$f")
  # A few frames are enough to reach every decoding path; short seeds keep the fuzzer fast.
  head -c 6000 "$f" > "$here/corpus/decode/$name"
  # The Xing target's first byte picks the sampling rate; the rest is the file head.
  { printf '\000'; head -c 2048 "$f"; } > "$here/corpus/xing/$name"
done
