# Sourced by the scripts: the build tree's wine prefix, and helpers to start a virtual display
# with its window manager and a long-lived wine server. Programs run under wine through the
# build's runner, <build-dir>/wine-run (scripts/wine-run.sh).
# usage: . scripts/wine-env.sh <build-dir>
export WINEPREFIX="${WINEPREFIX:-$(cd "$1" && pwd)/wineprefix}"
OREB_WINE_RUN="$(cd "$1" && pwd)/wine-run"

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

# Makes the prefix (the build's runner makes it when it is new) and keeps one wine server alive,
# so each test process starts fast. The prefix is made, and the server that made it gone, before
# the persistent one starts: otherwise `wineserver -p` finds it running and leaves, and that
# server's own exit a few seconds later can catch a test process connecting to it. Wine's
# background services are then started by a wineboot whose output goes nowhere: started by the
# first test instead, they would inherit its output pipe and keep ctest waiting for it until the
# test times out.
oreb_start_wine() {
  "$OREB_WINE_RUN"
  wineserver -p >/dev/null 2>&1 &
  oreb_started_pids+=($!)
  # The server's socket lives in a directory named for the prefix's device and inode.
  local server socket
  server="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
  for _ in $(seq 1 100); do
    for socket in "${TMPDIR:-/tmp}"/wine-*/"$server"/socket "/tmp/.wine-$(id -u)/$server/socket"; do
      [ -S "$socket" ] && break 2
    done
    sleep 0.1
  done
  "$OREB_WINE_RUN" wineboot </dev/null >/dev/null 2>&1 || true
}

oreb_stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  for pid in "${oreb_started_pids[@]}"; do kill "$pid" >/dev/null 2>&1 || true; done
}
