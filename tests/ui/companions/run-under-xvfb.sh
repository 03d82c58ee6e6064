#!/usr/bin/env bash
# Runs a window test program on a virtual X server: with no window manager, where a program places
# its windows itself, or with `--wm openbox`, under a window manager that frames and stacks them.
# Usage: run-under-xvfb.sh [--wm openbox] PROGRAM [ARGS...]   (exit 77: skipped)
set -euo pipefail
. "$(dirname "$0")/../../xvfb-lib.sh"
wm=
if [ "${1:-}" = --wm ]; then wm=$2; shift 2; fi
need_tools Xvfb ${wm:+$wm xprop}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
throwaway_home "$work"
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy TOVIRA_TEST_WM=$wm
cat >"$work/inside.sh" <<'INSIDE'
set -u
if [ -n "$TOVIRA_TEST_WM" ]; then
  "$TOVIRA_TEST_WM" >/dev/null 2>&1 &
  # The window manager owns the screen once it has named itself on the root window.
  for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
fi
"$@"
INSIDE
with_xvfb 1280x800x24 bash "$work/inside.sh" "$@"
