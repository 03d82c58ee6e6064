#!/usr/bin/env bash
# The real program to a screen reader: under a virtual X server and a D-Bus session of its own
# (which starts the accessibility bus), atspi-tree.py lists every control of its three windows
# with its role and name and fails on a nameless or mis-roled button, toggle or slider.
# Usage: atspi-xvfb.sh PATH/TO/tovira [--shot DIR]      (exit 77: skipped)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../xvfb-lib.sh"
need_tools Xvfb xwininfo dbus-run-session lame python3
if [ ! -x /usr/libexec/at-spi-bus-launcher ] && ! command -v at-spi-bus-launcher >/dev/null; then
  echo "skipped: at-spi-bus-launcher is not installed (Debian: at-spi2-core)"
  exit 77
fi
# Debian's bindings belong to Debian's interpreter, which another python3 on the PATH may hide.
python=
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c 'import pyatspi' 2>/dev/null; then
    python=$(command -v "$candidate")
    break
  fi
done
if [ -z "$python" ]; then
  echo "skipped: pyatspi is not installed (Debian: python3-pyatspi)"
  exit 77
fi
rerun_under_xvfb "$here/atspi-xvfb.sh" "$@"

program=$1
shift
throwaway_home "$WORK"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# Long enough to play through the whole check, and tagged, so the list shows its title; two of
# them, so that they join the playlist.
"$python" - "$WORK/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(44100)
    frames = bytearray()
    for i in range(44100 * 30):
        v = int(8000 * math.sin(2 * math.pi * 440 * i / 44100))
        frames += struct.pack("<hh", v, v)
    out.writeframes(bytes(frames))
PY
lame --quiet -b 128 --add-id3v2 --ta "Atspi Artist" --tt "Atspi Title" "$WORK/tone.wav" "$WORK/atspi.mp3"
cp "$WORK/atspi.mp3" "$WORK/atspi-2.mp3"
for _ in $(seq 1 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
status=0
dbus-run-session -- "$python" "$here/atspi-tree.py" "$program" "$WORK/atspi.mp3" "$WORK/atspi-2.mp3" "$@" || status=$?
if [ $status -ne 0 ] && [ -f "$WORK/atspi-program.log" ]; then
  echo "--- the program's output"; cat "$WORK/atspi-program.log"
fi
exit $status
