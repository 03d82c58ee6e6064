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
# No Debian encoder writes Layer I: a few MPEG-1 Layer I frames (44.1 kHz, 128 kbit/s, CRC) with
# pseudo-random bodies stand in for it.
python3 - "$here/corpus/decode/l1_synthetic.mp1" <<'PY'
import random, sys
random.seed(1)
out = bytearray()
for _ in range(8):
    frame = bytearray(b'\xff\xfe\x40\x00')  # Layer I, CRC, 128 kbit/s, 44.1 kHz, stereo
    frame += bytes(random.getrandbits(8) for _ in range(4 * (12 * 128000 // 44100) - 4))
    out += frame
open(sys.argv[1], 'wb').write(out)
PY
