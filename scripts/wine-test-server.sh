#!/usr/bin/env bash
# The wine server of a ctest run of the Windows tests: the first test (start) starts it with wine's
# background services, and the last one (stop) ends it. Every test run through wine needs it, so
# that no test starts the services and has its output pipe held by them until it times out.
# A server that stays up and runs already is used as it is and left running: one that
# scripts/test.sh started for all of its ctest runs, which its own exit ends. The server this
# start started is written down in the prefix, and stop ends only that one.
# usage: scripts/wine-test-server.sh start|stop <windows build dir>
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" "$2"
started="$WINEPREFIX/.oreb-test-server"

case "$1" in
  start)
    oreb_start_wine
    running="$(oreb_wine_server)"
    if [ -n "$OREB_WINE_SERVER_STARTED" ]; then
      echo "$OREB_WINE_SERVER_STARTED" >"$started"
      echo "wine server started for $WINEPREFIX: process $OREB_WINE_SERVER_STARTED"
    elif [ "$(cat "$started" 2>/dev/null)" = "$running" ]; then
      # Started by an earlier run whose stop did not come (ctest interrupted): this run ends it.
      echo "wine server of an earlier run kept for $WINEPREFIX: process $running"
    else
      rm -f "$started"
      echo "wine server running already for $WINEPREFIX kept, and left running: process $running"
    fi
    ;;
  stop)
    server="$(cat "$started" 2>/dev/null || true)"
    if [ -z "$server" ]; then
      echo "no wine server started by this run; any running one is left as it is"
      exit 0
    fi
    rm -f "$started"
    if [ "$(oreb_wine_server)" != "$server" ]; then
      echo "the wine server this run started (process $server) has ended already"
      exit 0
    fi
    # The server ends with every program still connected to it; -w waits until it has gone.
    wineserver -k >/dev/null 2>&1 || true
    timeout 60 wineserver -w >/dev/null 2>&1 || true
    if [ "$(oreb_wine_server)" = "$server" ]; then
      echo "the wine server of $WINEPREFIX (process $server) did not end within 60 s" >&2
      exit 1
    fi
    echo "wine server ended for $WINEPREFIX: process $server"
    ;;
  *)
    echo "usage: $0 start|stop <windows build dir>" >&2
    exit 2
    ;;
esac
