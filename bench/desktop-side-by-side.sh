#!/usr/bin/env bash
# The player window's costs beside two reference players, in one Xvfb and one PulseAudio null
# sink, rounds interleaved so that the machine's drift is shared: launch to visible window, CPU and
# wake-ups (context switches of every thread) while playing, resident memory, the X server's CPU,
# and CPU while stopped and paused. Each Tovira round also prints its threads one by one.
# The reference players are installed from Debian for this benchmark only.
# Usage: bench/desktop-side-by-side.sh [BUILD_DIR] [MP3] [SECONDS] [ROUNDS]
#   NO_QMMP=1 leaves out the second reference, ONLY_TOVIRA=1 both, NO_IDLE=1 the stopped and paused
#   figures, POLL=1 times the launch by polling for the window. The players get a session bus of
#   their own, as on a desktop (without one, Qt's and GTK's accessibility bridges each start a bus
#   first, about 50 ms of every launch); NO_BUS=1 measures without.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
app=$build/src/app/tovira
[ -x "$app" ] || { echo "desktop-side-by-side: build the tovira target first ($app)" >&2; exit 1; }
song=${2:-}
secs=${3:-30}
rounds=${4:-3}
for p in Xvfb:xvfb xdotool:xdotool pulseaudio:pulseaudio pactl:pulseaudio-utils audacious:audacious qmmp:qmmp; do
  command -v ${p%%:*} >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${p#*:} >/dev/null 2>&1
done
W=$(mktemp -d)
if [ -z "$song" ]; then
  song=$W/music_128_js.mp3
  bash "$root/bench/make-music.sh" "$W" >/dev/null 2>&1 || {
    sox -q -n -r 44100 -c 2 -b 16 "$W/tone.wav" synth $((secs + 30)) sine 200-2000 sine 3000-300 gain -6
    lame --quiet -b 128 -m j "$W/tone.wav" "$song"
  }
fi
export HOME=$W/home XDG_CONFIG_HOME=$W/config XDG_DATA_HOME=$W/data XDG_RUNTIME_DIR=$W/run XDG_CACHE_HOME=$W/cache
mkdir -p $HOME $XDG_CONFIG_HOME $XDG_DATA_HOME $XDG_CACHE_HOME
mkdir -m 700 -p $XDG_RUNTIME_DIR
display=$((90 + RANDOM % 100))
export DISPLAY=:$display
Xvfb $DISPLAY -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xp=$!
sleep 1
pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=nul" \
  --load="module-native-protocol-unix" >/dev/null 2>&1 &
pp=$!
sleep 2
pactl set-default-sink nul 2>/dev/null
export SDL_AUDIODRIVER=pulseaudio QT_QPA_PLATFORM=xcb
busp=
if [ -z "${NO_BUS:-}" ] && command -v dbus-daemon >/dev/null; then
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null) &&
    export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus") && busp=$(sed -n 2p <<<"$bus")
else
  unset DBUS_SESSION_BUS_ADDRESS
fi
trap 'kill $pp $xp $busp 2>/dev/null; wait 2>/dev/null; rm -rf $W' EXIT

hz=$(getconf CLK_TCK)
ticks() { local s=0 t; for t in /proc/$1/task/*/stat; do s=$((s + $(awk '{print $14+$15}' $t 2>/dev/null || echo 0))); done; echo $s; }
csw() { local s=0 t; for t in /proc/$1/task/*/status; do s=$((s + $(awk '/ctxt_switches/{n+=$2} END{print n+0}' $t 2>/dev/null || echo 0))); done; echo $s; }
# One line per thread: id, name, CPU ticks, context switches.
threads() {
  local t
  for t in /proc/$1/task/*; do
    printf '%s %s %s %s\n' "${t##*/}" "$(tr ' ' _ <$t/comm 2>/dev/null)" \
      "$(awk '{print $14+$15}' $t/stat 2>/dev/null || echo 0)" \
      "$(awk '/ctxt_switches/{n+=$2} END{print n+0}' $t/status 2>/dev/null || echo 0)"
  done
}
pct() { awk -v x=$1 -v h=$hz -v s=$2 'BEGIN{printf "%.2f", 100*x/h/s}'; }

# The window-shown probe listens for the X server's map events, so that measuring a launch takes
# no processor from the player launched. POLL=1 polls with xdotool instead, as earlier runs did:
# a process every 5 ms on two cores, which slows every player's start by tens of milliseconds.
probe=$W/window-shown
cc -O2 -o "$probe" "$root/bench/window-shown.c" -lxcb 2>/dev/null || POLL=1

# The first visible window whose title matches, polled every $2 s for up to 2000 tries.
window_of() {
  local w=""
  for _ in $(seq 2000); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
    [ -n "$w" ] && break
    sleep "$2"
  done
  echo "$w"
}

run() { # name title-regex cmd...
  local name=$1 re=$2
  shift 2
  local w at ready
  # Listening before the player starts; the probe prints when the window was mapped and its id.
  [ -z "${POLL:-}" ] && { coproc shown { "$probe" "$re" 60 2>&1; }; read -r ready <&"${shown[0]}"; }
  local t0=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  local pid=$!
  if [ -z "${POLL:-}" ]; then
    read -r at w <&"${shown[0]}"
    wait $shown_PID 2>/dev/null
  else
    w=$(window_of "$re" 0.005)
    at=$(date +%s%N)
  fi
  local launch=-1
  [ -n "$at" ] && launch=$(((at - t0) / 1000000))
  sleep 4
  local a=$(ticks $pid) c=$(csw $pid) xa=$(ticks $xp) before=$(threads $pid)
  sleep $secs
  local b=$(ticks $pid) d=$(csw $pid) xb=$(ticks $xp) after=$(threads $pid)
  local rss=$(awk '/VmRSS/{print int($2/1024)}' /proc/$pid/status)
  local play=$(pactl list sink-inputs 2>/dev/null | grep -c 'Sink Input #')
  kill -TERM $pid
  sleep 1
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  local cpu=$(pct $((b - a)) $secs)
  printf "%-10s launch %5d ms  cpu %5.2f %%  wakeups %6.0f /s  rss %4d MB  X server cpu %5.2f %%  streams %d\n" \
    $name $launch $cpu $(awk -v x=$((d - c)) -v s=$secs 'BEGIN{print x/s}') $rss $(pct $((xb - xa)) $secs) $play
  eval "cpu_$name=$cpu"
  if [ "$name" = tovira ]; then
    join <(sort <<<"$before") <(sort <<<"$after") | awk -v h=$hz -v s=$secs \
      '{ printf "           thread %-16s cpu %5.2f %%  wakeups %6.1f /s\n", $2, 100*($6-$3)/h/s, ($7-$4)/s }'
  fi
}

idle() { # name title paused? cmd...: CPU and wake-ups with nothing playing, or paused
  local name=$1 re=$2 how=$3
  shift 3
  "$@" >/dev/null 2>&1 &
  local pid=$!
  local w=$(window_of "$re" 0.01)
  sleep 4
  if [ "$how" = paused ]; then
    xdotool windowfocus --sync "$w" key space 2>/dev/null
    sleep 2
  fi
  local a=$(ticks $pid) c=$(csw $pid)
  sleep 15
  local b=$(ticks $pid) d=$(csw $pid)
  kill -TERM $pid
  sleep 1
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  printf "%-10s %-7s cpu %5.2f %%  wakeups %6.1f /s\n" $name $how $(pct $((b - a)) 15) \
    $(awk -v x=$((d - c)) 'BEGIN{print x/15}')
}

for r in $(seq $rounds); do
  echo "round $r"
  run tovira 'Tovira$' "$app" "$song"
  [ -n "${ONLY_TOVIRA:-}" ] && continue
  run audacious 'Audacious|audacious|-' audacious "$song"
  [ -n "${NO_QMMP:-}" ] || run qmmp 'Qmmp|qmmp|-' qmmp "$song"
  awk -v t=$cpu_tovira -v a=$cpu_audacious 'BEGIN{ if (a > 0) printf "           tovira / audacious cpu: %.2f\n", t/a }'
done
if [ -z "${NO_IDLE:-}" ]; then
  idle tovira 'Tovira$' stopped "$app"
  idle tovira 'Tovira$' paused "$app" "$song"
  [ -n "${ONLY_TOVIRA:-}" ] && exit 0
  idle audacious 'Audacious' stopped audacious
  [ -n "${NO_QMMP:-}" ] || idle qmmp 'Qmmp' stopped qmmp
fi
