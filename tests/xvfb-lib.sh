# Shared by the tests that run real programs under a virtual X server; sourced, not run.

# Ends the test as skipped (77) when one of the tools is missing.
need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
      exit 77
    fi
  done
}

# Points HOME and the XDG folders into DIR, so nothing of the user's is read or written.
throwaway_home() {
  export HOME=$1/home XDG_CONFIG_HOME=$1/config XDG_DATA_HOME=$1/data XDG_RUNTIME_DIR=$1/run
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/Tovira/tovira" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# Runs COMMAND under a virtual X server of its own with SCREEN (e.g. 1024x768x24); ends with the
# command's status. The server is given a random display number, so it takes that display's lock
# before it opens any socket and gives up at once when another server holds it (then another number
# is tried); it reports on -displayfd once it accepts clients. Left to choose a free number itself,
# Xvfb opens the sockets before it takes the lock, and two servers starting together can take each
# other's socket. The server never resets: by default it does when its last client leaves, and a
# client connecting just then (the program, as the accessibility bus's launcher leaves) is turned
# away.
#   with_xvfb 1024x768x24 COMMAND [ARGS...]
with_xvfb() {
  local screen=$1 dir server number status=0
  shift
  dir=$(mktemp -d)
  for _ in 1 2 3 4 5 6 7 8; do
    number=$((200 + RANDOM % 600))
    : >"$dir/display"
    Xvfb ":$number" -displayfd 3 -noreset -screen 0 "$screen" -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
    server=$!
    for _ in $(seq 1 200); do
      [ -s "$dir/display" ] && break
      kill -0 "$server" 2>/dev/null || break
      sleep 0.05
    done
    [ -s "$dir/display" ] && break
    kill "$server" 2>/dev/null; wait "$server" 2>/dev/null
  done
  if [ ! -s "$dir/display" ]; then
    echo "FAIL: the virtual X server did not start"; cat "$dir/log"
    rm -rf "$dir"
    return 1
  fi
  DISPLAY=:$(head -n1 "$dir/display") "$@" || status=$?
  if [ $status -ne 0 ] && [ -s "$dir/log" ]; then echo "--- the X server's output"; cat "$dir/log"; fi
  kill "$server" 2>/dev/null; wait "$server" 2>/dev/null
  rm -rf "$dir"
  return $status
}

# Runs SCRIPT again with ARGS under its own virtual X server, WORK set to a temporary folder that
# is removed afterwards; ends with the inner run's status. Does nothing once inside.
#   rerun_under_xvfb "${BASH_SOURCE[0]}" "$@"
rerun_under_xvfb() {
  [ "${TOVIRA_INSIDE_XVFB:-}" != 1 ] || return 0
  local script=$1 work status=0
  shift
  work=$(mktemp -d)
  TOVIRA_INSIDE_XVFB=1 WORK=$work with_xvfb 1024x768x24 bash "$script" "$@" || status=$?
  rm -rf "$work"
  exit $status
}

# A scenario's outcome: failures are counted, and the script ends with [ "$failures" -eq 0 ].
failures=0
ok() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Polls COMMAND until it succeeds, for at most TENTHS tenths of a second; its last status.
#   wait_for TENTHS COMMAND [ARGS...]
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq 1 "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}
