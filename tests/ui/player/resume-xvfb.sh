#!/usr/bin/env bash
# The real program under a virtual X server comes back to where it was closed: the second row,
# played to about 5 s and ended by SIGTERM, comes back stopped at that position and Play goes on
# from there; a SIGKILL loses at most the last few seconds; files on the command line still win.
# Observed through MPRIS on a session bus of the test's own.
# Usage: resume-xvfb.sh PATH/TO/tovira FIXTURE_DIR      (exit 77: skipped)
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../xvfb-lib.sh"
program=$1
fixtures=$2

[ "${TOVIRA_INSIDE_XVFB:-}" = 1 ] || need_tools Xvfb dbus-daemon dbus-send
rerun_under_xvfb "${BASH_SOURCE[0]}" "$program" "$fixtures"

work=$WORK
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
throwaway_home "$work"
log=$work/out.log
pid=
bus_pid=
finish() {
  [ -z "$pid" ] || { kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
  [ -z "$bus_pid" ] || kill "$bus_pid" 2>/dev/null
}
trap finish EXIT

dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus.address" 4>"$work/bus.pid" || exit 1
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
bus_pid=$(head -n 1 "$work/bus.pid")
export DBUS_SESSION_BUS_ADDRESS

mkdir -p "$work/songs"
for x in a b c; do cp "$fixtures/l3_10s_cbr_pic.mp3" "$work/songs/$x.mp3"; done
printf '%s\n' "$work"/songs/{a,b,c}.mp3 >"$XDG_DATA_HOME/Tovira/tovira/tvra.dfl"

player() {
  dbus-send --session --reply-timeout=5000 --dest=org.mpris.MediaPlayer2.tovira /org/mpris/MediaPlayer2 "$@"
}
get() { player --print-reply=literal org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player "string:$1"; }
call() { player --print-reply org.mpris.MediaPlayer2.Player."$1" >/dev/null; }
position_ms() { get Position 2>/dev/null | awk '{ print int($NF / 1000) }'; }
status() { get PlaybackStatus 2>/dev/null | awk '{ print $NF }'; }
# The name of the file playing (xesam:url: the cover's address is in the metadata too).
file() { get Metadata 2>/dev/null | tr '\n' ' ' | grep -o 'xesam:url *variant *[^ ]*' | sed 's|.*/||'; }
position_at_least() { local p; p=$(position_ms); [ -n "$p" ] && [ "$p" -ge "$1" ]; }
status_is() { [ "$(status)" = "$1" ]; }
player_up() { [ -n "$(status)" ]; }


start_player() {
  "$program" "$@" >>"$log" 2>&1 &
  pid=$!
  wait_for 100 player_up || { fail "no MPRIS player after start"; cat "$log"; exit 1; }
}

end_player() {  # signal
  kill "-$1" "$pid"
  wait "$pid" 2>/dev/null
  local code=$?
  pid=
  [ "$1" = KILL ] || [ $code -eq 0 ] || fail "exit status $code after SIG$1"
}

# ---- the second row to 5 s, then SIGTERM ----
start_player
call Play
wait_for 50 status_is Playing
call Next
wait_for 50 position_at_least 5000
closed=$(position_ms)
playing=$(file)
end_player TERM
[ "$playing" = b.mp3 ] || fail "Next played \"$playing\", not b.mp3"

# ---- back stopped at that position; Play goes on from it ----
start_player
wait_for 50 position_at_least 1
shown=$(position_ms)
if status_is Stopped && [ -n "$shown" ] && [ $((shown - closed)) -ge 0 ] && [ $((shown - closed)) -lt 1000 ]; then
  ok "after SIGTERM at $closed ms the next start shows $shown ms, stopped"
else
  fail "closed at $closed ms, the next start shows \"$shown\" ms, $(status)"
fi
call Play
wait_for 20 status_is Playing
from=$(position_ms)
if [ "$(file)" = b.mp3 ] && [ "$from" -ge $((shown - 100)) ] && [ "$from" -lt $((shown + 1000)) ]; then
  ok "Play goes on with b.mp3 from $from ms"
else
  fail "Play started \"$(file)\" at $from ms, not b.mp3 at $shown ms"
fi

# ---- a SIGKILL three seconds on ----
wait_for 50 position_at_least $((from + 3000))
killed=$(position_ms)
end_player KILL
start_player
wait_for 50 position_at_least 1
shown=$(position_ms)
if [ -n "$shown" ] && [ "$shown" -le "$killed" ] && [ "$shown" -ge $((killed - 2500)) ]; then
  ok "after SIGKILL at $killed ms the next start shows $shown ms"
else
  fail "killed at $killed ms, the next start shows \"$shown\" ms"
fi
end_player TERM

# ---- a file on the command line plays as it always has ----
start_player "$work/songs/c.mp3"
wait_for 50 status_is Playing
if [ "$(file)" = c.mp3 ] && ! position_at_least 2000; then
  ok "the command line's file plays from its start"
else
  fail "with c.mp3 on the command line: \"$(file)\" at $(position_ms) ms"
fi
end_player TERM

[ "$failures" -eq 0 ]
