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

# Runs SCRIPT again with ARGS under its own virtual X server, WORK set to a temporary folder that
# is removed afterwards; ends with the inner run's status. Does nothing once inside.
#   rerun_under_xvfb "${BASH_SOURCE[0]}" "$@"
rerun_under_xvfb() {
  [ "${TOVIRA_INSIDE_XVFB:-}" != 1 ] || return 0
  local script=$1 work status
  shift
  work=$(mktemp -d)
  TOVIRA_INSIDE_XVFB=1 WORK=$work xvfb-run -a -n "$((200 + RANDOM % 600))" -s '-screen 0 1024x768x24' \
    bash "$script" "$@"
  status=$?
  rm -rf "$work"
  exit $status
}
