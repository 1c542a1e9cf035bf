# Sourced by the scripts: the build tree's wine prefix of the tests, and helpers to start a virtual
# display with its window manager and a long-lived wine server. Programs run under wine through the
# build's runner of the tests, <build-dir>/wine-run-tests (scripts/wine-run.sh in
# <build-dir>/wineprefix-tests, as CMakeLists.txt makes it).
# usage: . scripts/wine-env.sh <build-dir>
export WINEPREFIX="${WINEPREFIX:-$(cd "$1" && pwd)/wineprefix-tests}"
OREB_WINE_RUN="$(cd "$1" && pwd)/wine-run-tests"

oreb_started_pids=()

# Starts Xvfb on the first free display number from 90, with the tests' window manager
# (scripts/display-wm.py: without one, wine waits 2 s at each window's close), and exports
# DISPLAY. A number whose lock file is absent can still be taken: by another run starting at the
# same moment, or by a server whose files this system cannot see (its abstract socket is shared
# across chroots). Xvfb then ends at once, and the next number is tried. The display is this
# run's only once the lock file names its own server: the other run's socket appears at the same
# path while this one's Xvfb is still finding out that it lost, and two runs would then share one
# display.
oreb_start_display() {
  local n=90 pid
  for _ in $(seq 1 20); do
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    Xvfb ":${n}" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      if [ -e "/tmp/.X11-unix/X${n}" ] && [ "$(tr -d ' \n' <"/tmp/.X${n}-lock" 2>/dev/null)" = "$pid" ] &&
        kill -0 "$pid" 2>/dev/null; then
        oreb_started_pids+=("$pid")
        export DISPLAY=":${n}"
        pid="$("$(dirname "${BASH_SOURCE[0]}")/display-wm.py")" || return 1
        oreb_started_pids+=("$pid")
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
    n=$((n + 1))
  done
  echo "Xvfb did not start on any display from :90 to :${n}" >&2
  return 1
}

# The process id of the wine server running for the prefix, or nothing. The server works in the
# directory named for the prefix's device and inode, where its socket is; `wineserver -k` and
# `wineserver -w`, which only ask it, are passed over.
oreb_wine_server() {
  local dir p args
  [ -d "$WINEPREFIX" ] || return 0
  dir="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
  for p in /proc/[0-9]*; do
    [[ "$(cat "$p/comm" 2>/dev/null)" == wineserver* ]] || continue
    [[ "$(readlink "$p/cwd" 2>/dev/null)" == */"$dir" ]] || continue
    args=" $(tr '\0' ' ' 2>/dev/null <"$p/cmdline") "
    [[ "$args" == *" -k"* || "$args" == *" --kill"* || "$args" == *" -w "* || "$args" == *" --wait "* ]] && continue
    echo "${p#/proc/}"
    break
  done
  return 0
}

# Whether the server of the process id stays up when its last program has ended: its last
# persistence option is -p with no time. A server that a program started by itself has none (or
# Debian's -p0) and ends a moment after its last program.
oreb_wine_server_stays() {
  local arg last=""
  while IFS= read -r -d '' arg; do
    case "$arg" in -p* | --persistent*) last="$arg" ;; esac
  done 2>/dev/null <"/proc/$1/cmdline"
  [ "$last" = -p ] || [ "$last" = --persistent ]
}

# Makes the prefix (the build's runner makes it when it is new) and keeps one wine server alive,
# so each test process starts fast; a server that stays up and runs already (scripts/test.sh
# starts one before its ctest runs) is kept. Sets OREB_WINE_SERVER_STARTED to the process id of
# the server when this call started it, and empties it otherwise. Fails when no server that stays
# up can be had.
#
# The prefix is made, and the server that made it gone, before the persistent one starts:
# otherwise `wineserver -p` finds it running and leaves, and that server's own exit a few seconds
# later can catch a test process connecting to it; a server that some program started by itself
# (ctest's listing of the test cases, just before) is waited for in the same way. The server
# detaches itself from the caller, and its output goes nowhere. Wine's background services are
# then started by a wineboot whose output goes nowhere: started by the first test instead, they
# would inherit its output pipe, and hold it for as long as the server lives, while ctest waits
# for it until the test times out.
oreb_start_wine() {
  OREB_WINE_SERVER_STARTED=""
  "$OREB_WINE_RUN"
  local pid
  pid="$(oreb_wine_server)"
  if [ -n "$pid" ] && ! oreb_wine_server_stays "$pid"; then
    timeout 60 wineserver -w >/dev/null 2>&1 || true
    pid="$(oreb_wine_server)"
  fi
  if [ -z "$pid" ]; then
    wineserver -p </dev/null >/dev/null 2>&1 || true
    for _ in $(seq 1 100); do
      pid="$(oreb_wine_server)"
      [ -n "$pid" ] && [ -S "/proc/$pid/cwd/socket" ] && break
      sleep 0.1
    done
    OREB_WINE_SERVER_STARTED="$pid"
  fi
  if [ -z "$pid" ] || ! oreb_wine_server_stays "$pid"; then
    echo "no wine server that stays up runs for $WINEPREFIX${pid:+ (the one running, process $pid, ends with its programs)}" >&2
    return 1
  fi
  "$OREB_WINE_RUN" wineboot </dev/null >/dev/null 2>&1 || true
}

oreb_stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  for pid in "${oreb_started_pids[@]}"; do kill "$pid" >/dev/null 2>&1 || true; done
}
