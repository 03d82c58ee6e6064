#!/usr/bin/env bash
# The real program with a settings file it cannot use: random bytes are set aside as
# tovira.conf.bak and a fresh file is written at the end; a link to a FIFO or to a character
# device neither stops the window from showing nor is written through.
# Usage: settings-xvfb.sh PATH/TO/tovira      (exit 77: skipped)
set -euo pipefail
. "$(dirname "$0")/../xvfb-lib.sh"
program=$1
need_tools Xvfb xwininfo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

# One home per case, each with its own settings folder.
setup() {
  local home=$work/$1
  mkdir -p "$home/home" "$home/config/Tovira" "$home/data" "$home/run"
  chmod 700 "$home/run"
  echo "$home/config/Tovira/tovira.conf"
}

head -c 4096 /dev/urandom >"$work/random.bin"
conf_a=$(setup a)
cp "$work/random.bin" "$conf_a"

conf_b=$(setup b)
mkfifo "$work/b/fifo"
ln -s "$work/b/fifo" "$conf_b"

conf_c=$(setup c)
have_node=1
if mknod "$work/c/node" c 1 3 2>/dev/null; then
  ln -s "$work/c/node" "$conf_c"
else
  have_node=0
  echo "case c skipped: mknod is not allowed here"
fi

cat >"$work/inside.sh" <<'INSIDE'
set -u
for _ in $(seq 1 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
# run CASE: starts the program in that case's home, waits for its window, ends it with SIGTERM.
run() {
  local home=$WORK/$1
  HOME=$home/home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run \
    "$PROGRAM" >"$home/out.log" 2>&1 &
  local pid=$!
  # A start that blocks on the settings never shows a window; the bound only ends the wait.
  for _ in $(seq 1 200); do
    xwininfo -root -tree 2>/dev/null | grep -qF '"Tovira"' && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  if ! xwininfo -root -tree 2>/dev/null | grep -qF '"Tovira"'; then
    echo "FAIL ($1): no window"; cat "$home/out.log"; kill -9 $pid 2>/dev/null; return 1
  fi
  kill -TERM $pid
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then echo "FAIL ($1): still running after SIGTERM"; kill -9 $pid; return 1; fi
  wait $pid || { echo "FAIL ($1): exit status $?"; cat "$home/out.log"; return 1; }
  # The next case must not find this one's window.
  for _ in $(seq 1 100); do xwininfo -root -tree 2>/dev/null | grep -qF '"Tovira"' || break; sleep 0.1; done
}
for c in $CASES; do run "$c" || exit 1; done
INSIDE

cases="a b"
[ $have_node = 1 ] && cases="$cases c"
PROGRAM=$program WORK=$work CASES=$cases with_xvfb 1024x768x24 \
  bash "$work/inside.sh"

fail() { echo "FAIL: $*"; exit 1; }
# (a) The unreadable bytes are kept aside, and the program wrote a settings file of its own.
cmp -s "$work/random.bin" "$conf_a.bak" || fail "tovira.conf.bak does not hold the old bytes"
[ -f "$conf_a" ] && [ ! -L "$conf_a" ] || fail "no new tovira.conf was written"
grep -q '^Vol=' "$conf_a" || { cat "$conf_a"; fail "the new tovira.conf holds no volume"; }
[ ! -e "$conf_a.bak.2" ] || fail "a second copy was set aside"
echo "random settings set aside, new ones written"
# (b) The FIFO is still the FIFO behind the link.
[ -L "$conf_b" ] && [ -p "$work/b/fifo" ] || fail "the FIFO was replaced"
[ -z "$(ls -A "$work/b/config/Tovira" | grep -vx tovira.conf)" ] || fail "something was written beside the link"
echo "settings link to a FIFO left alone"
# (c) The device node is still the device node.
if [ $have_node = 1 ]; then
  [ -L "$conf_c" ] && [ -c "$work/c/node" ] || fail "the device node was replaced"
  echo "settings link to a device left alone"
fi
