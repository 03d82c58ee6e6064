#!/usr/bin/env bash
# The real program under a virtual X server, against what it keeps in the default playlist
# ("tvra.dfl"): rows of missing files survive a run and play once the files are back, the
# playlist window's Clear reaches the file without a clean exit, SIGKILLs during a long hand-off
# always leave a whole list, and two starts with several files each build one playlist in order.
# Every scenario has folders of its own, so nothing carries over from one to the next.
# Usage: session-xvfb.sh PATH/TO/tovira FIXTURE_DIR      (exit 77: skipped)
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../xvfb-lib.sh"
program=$1
fixtures=$2

[ "${TOVIRA_INSIDE_XVFB:-}" = 1 ] || need_tools Xvfb xdotool lame perl
rerun_under_xvfb "${BASH_SOURCE[0]}" "$program" "$fixtures"

work=$WORK
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# No session bus: every start stays off the desktop's media-key service.
unset DBUS_SESSION_BUS_ADDRESS
pid=

# A new set of user folders; $dfl is the default playlist in it, $log the program's output.
fresh_user() {
  throwaway_home "$work/users/$1"
  dfl=$XDG_DATA_HOME/Tovira/tovira/tvra.dfl
  log=$work/users/$1/out.log
}


player_window() { xdotool search --onlyvisible --name '(^| - )Tovira$' 2>/dev/null | head -n 1; }
player_up() { [ -n "$(player_window)" ]; }
playlist_up() { [ -n "$(xdotool search --onlyvisible --name '^Playlist$' 2>/dev/null)" ]; }
title() { local w; w=$(player_window); [ -n "$w" ] && xdotool getwindowname "$w"; }
title_is() { [ "$(title)" = "$1" ]; }
title_left_idle() { [ "$(xdotool getwindowname "$1")" != Tovira ]; }
dfl_empty() { [ -e "$dfl" ] && ! grep -q . "$dfl"; }

# Starts the first instance with the arguments and waits for its window: by then it listens for
# later starts.
start_player() {
  "$program" "$@" >>"$log" 2>&1 &
  pid=$!
  if ! wait_for 100 player_up; then
    fail "no player window after start ($*)"
    cat "$log"
    return 1
  fi
}

# A later start: hands its files to the first and ends.
hand_over() {
  if ! timeout 20 "$program" "$@" >>"$log" 2>&1; then
    fail "the later start with $* did not hand over"
    cat "$log"
    return 1
  fi
}

# SIGTERM closes like the user would; the status must be 0.
terminate() {
  kill -TERM "$pid"
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "still running 10 s after SIGTERM"
    kill -KILL "$pid"
  fi
  wait "$pid"
  local status=$?
  [ $status -eq 0 ] || { fail "exit status $status after SIGTERM"; cat "$log"; }
  pid=
}

kill_hard() {
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
}

stop_if_running() { [ -z "$pid" ] || kill_hard; }

show_file() {
  echo "--- $1 ($(wc -l <"$1" 2>/dev/null || echo missing) lines; head, tail):"
  head -n 5 "$1" 2>/dev/null
  echo "..."
  tail -n 3 "$1" 2>/dev/null | cat -A | cut -c 1-200
}

for _ in $(seq 1 200); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# ---- fixtures: tagged songs whose titles name them, and 5,000 names of one small file ----
mkdir -p "$work/songs" "$work/other" "$work/many"
tagged() {  # file artist title
  lame --quiet -b 64 --add-id3v2 --ta "$2" --tt "$3" "$fixtures/s22.wav" "$1"
}
for i in 01 02 03 04 05 06 07 08 09 10; do tagged "$work/songs/kept$i.mp3" "Kept Artist $i" "Kept Title $i"; done
for x in a b c d; do tagged "$work/other/$x.mp3" "Artist ${x^^}" "Song ${x^^}"; done
cp "$fixtures/l3_8k_16_mono.mp3" "$work/many/one.mp3"
perl -e 'for my $i (1 .. 5000) { link($ARGV[0], sprintf("%s/f%04d.mp3", $ARGV[1], $i)) or die "link: $!" }' \
  "$work/many/one.mp3" "$work/many"
rm "$work/many/one.mp3"
printf '%s\n' "$work"/many/f*.mp3 >"$work/list.m3u"

# ---- 1. rows of missing files are kept, and play once the files are back ----
fresh_user missing
printf '%s\n' "$work"/songs/kept*.mp3 >"$dfl"
{ cat "$dfl"; echo "$work/other/a.mp3"; } >"$work/kept-then-a.txt"
mv "$work/songs" "$work/songs.away"
if start_player; then
  # A change while the ten are missing makes the program write the list itself.
  hand_over "$work/other/a.mp3"
  terminate
  if cmp -s "$work/kept-then-a.txt" "$dfl"; then
    ok "ten rows of missing files kept in order in the playlist written at SIGTERM, the hand-off after them"
  else
    fail "the written playlist lost or changed the rows of the missing files"
    show_file "$dfl"
  fi
fi
mv "$work/songs.away" "$work/songs"
if start_player; then
  w=$(player_window)
  xdotool windowfocus --sync "$w"
  played=
  # "n" before the saved rows have been read finds nothing to play: pressed again then.
  for _ in 1 2 3 4 5; do
    xdotool key --clearmodifiers n
    if wait_for 10 title_left_idle "$w"; then
      played=$(xdotool getwindowname "$w")
      break
    fi
  done
  row_title='^Kept Artist (0[1-9]|10) - Kept Title (0[1-9]|10) - Tovira$'
  if [[ "$played" =~ $row_title ]] &&
    [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ]; then
    ok "with the folder back, Next plays a kept row: \"$played\""
  else
    fail "Next did not play a kept row; window title \"$played\""
    cat "$log"
  fi
  terminate
fi

# ---- 2. Clear in the playlist window reaches the file before a SIGKILL ----
fresh_user clear
printf '%s\n' "$work"/other/{a,b,c}.mp3 >"$dfl"
if start_player && wait_for 100 playlist_up; then
  eval "$(xdotool getwindowgeometry --shell "$(xdotool search --onlyvisible --name '^Playlist$' | head -n 1)")"
  # The toolbar's first button (Clear) sits in the window's top left corner.
  xdotool mousemove $((X + 16)) $((Y + 16)) click 1
  wait_for 50 dfl_empty
  kill_hard
  if dfl_empty; then
    ok "Clear left an empty playlist file behind a SIGKILL"
  else
    fail "after Clear and SIGKILL the playlist file is not empty"
    show_file "$dfl"
  fi
else
  fail "no playlist window"
  stop_if_running
fi

# ---- 3. SIGKILLs during a 5,000-file hand-off leave a whole list ----
printf '%s\n' "$work"/other/{a,b,c}.mp3 >"$work/old.txt"
cat "$work/old.txt" "$work/list.m3u" >"$work/all.txt"
# While the list file is still being expanded, its own line stands for its entries.
{ cat "$work/old.txt"; echo "$work/list.m3u"; } >"$work/listline.txt"
seen_old=0 seen_all=0 seen_listline=0 leftovers=0
kill_after() {  # milliseconds after the hand-off; sets $state to the whole list found
  state="no run"
  fresh_user "kill$2"
  cp "$work/old.txt" "$dfl"
  start_player || return 1
  hand_over "$work/list.m3u" || { kill_hard; return 1; }
  sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"
  kill_hard
  leftovers=$((leftovers + $(find "$XDG_DATA_HOME/Tovira/tovira" -name 'tvra.dfl.tmp-*' | wc -l)))
  if cmp -s "$work/old.txt" "$dfl"; then
    state=old
  elif cmp -s "$work/all.txt" "$dfl"; then
    state=all
  elif cmp -s "$work/listline.txt" "$dfl"; then
    state=listline
  else
    state=torn
    show_file "$dfl"
    grep -vxF -f "$work/all.txt" -e "$work/list.m3u" "$dfl" | head -n 3 | sed 's/^/unknown line: /'
  fi
}
# One kill in each of twenty slices of 0..4.6 s: the batch is added at 3 s, first saved about 1 s later.
for run in $(seq 0 19); do
  ms=$((run * 230 + RANDOM % 230))
  kill_after "$ms" "$run"
  case $state in
    old) seen_old=$((seen_old + 1)) ;;
    all) seen_all=$((seen_all + 1)) ;;
    listline) seen_listline=$((seen_listline + 1)) ;;
    *) fail "SIGKILL $ms ms after the hand-off left no whole list ($state)" ;;
  esac
  echo "  SIGKILL $ms ms after the hand-off: $state"
done
ok "20 SIGKILLs: the old 3 entries $seen_old times, the 3 then all 5,000 $seen_all times, the 3 then the list file $seen_listline times; $leftovers temporary files left"
kill_after 5200 late
if [ "$state" = all ]; then
  ok "a SIGKILL 2.2 s after the batch was added leaves all 5,003 entries in order"
else
  fail "a SIGKILL 5.2 s after the hand-off left \"$state\", not all 5,003 entries"
fi

# ---- 4. two starts with two files each: one playlist, in order ----
fresh_user twostarts
if start_player "$work/other/a.mp3" "$work/other/b.mp3"; then
  if wait_for 30 title_is "Artist A - Song A - Tovira"; then
    ok "the first start plays its first file"
  else
    fail "the first file does not play; window title \"$(title)\""
  fi
  hand_over "$work/other/c.mp3" "$work/other/d.mp3"
  printf '%s\n' "$work"/other/{a,b,c,d}.mp3 >"$work/abcd.txt"
  # The batch joins after 3 s and is saved within 1 s more, without a close.
  if wait_for 80 cmp -s "$work/abcd.txt" "$dfl"; then
    ok "the handed-over files joined after the first start's and were saved"
  else
    fail "the playlist file does not hold a, b, c, d 8 s after the hand-off"
    show_file "$dfl"
  fi
  terminate
  if cmp -s "$work/abcd.txt" "$dfl"; then
    ok "SIGTERM saved a, b, c, d in order"
  else
    fail "SIGTERM did not save a, b, c, d in order"
    show_file "$dfl"
  fi
fi

[ "$failures" -eq 0 ]
