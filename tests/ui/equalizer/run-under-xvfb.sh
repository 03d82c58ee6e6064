#!/usr/bin/env bash
# Runs a window test program on a virtual X server with no window manager, where a program
# places its windows itself. Usage: run-under-xvfb.sh PROGRAM [ARGS...]   (exit 77: skipped)
set -euo pipefail
if ! command -v xvfb-run >/dev/null; then
  echo "skipped: xvfb-run is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
xvfb-run -a -s '-screen 0 1280x800x24' "$@"
