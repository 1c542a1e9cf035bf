#!/bin/sh
# The one way the scripts and tests start wine.
# usage: WINEPREFIX=<prefix> wine-run.sh [<program> [args...]]
# Runs the program (a Windows executable, or one of wine's own such as wineboot) under wine in
# the prefix, quietly and with a UTF-8 locale, after making the prefix when it is new; with no
# program it only makes the prefix. The build's runners are this script in the build tree's own
# prefixes: build/<dir>/wine-run in wineprefix, for the program, and build/<dir>/wine-run-tests
# in wineprefix-tests, for the tests.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
# Wine stores a Windows file name on disk in the locale's character set: without a UTF-8 locale
# (a minimal system's environment sets none) a name such as "é" cannot be made at all.
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL

# Wine runs without address randomization. Its 64-bit loader sits at 0x7d000000, and the kernel
# puts the process's heap anywhere in the gigabyte above it: about one start in several thousand
# the heap covers 0x7ffe0000, where wine must map the Windows shared user data, and the process
# ends at once with status 1 before the program runs (its one message, "failed to map the shared
# user data", is hidden by WINEDEBUG=-all). Unrandomized, the heap starts right after the loader.
unrandomized="setarch $(uname -m) -R"

ready="$WINEPREFIX/.oreb-prefix-ready"

# Makes the prefix once, before any program runs in it: wine's prefix creation, the settings
# below, and the end of the server that made them. A program started while wine is still making
# the prefix sees wine's set-up messages in its own output, and its window can open before the
# settings are in place; and the server that made the prefix ends a few seconds later, which can
# catch a process connecting to it. Many processes may ask at once: the first one makes the
# prefix under a lock, and the others wait for it and then find it made.
make_prefix() {
  mkdir -p "$WINEPREFIX"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  [ -e "$ready" ] && return 0
  $unrandomized wineboot -i >/dev/null 2>&1 || true
  # The program asks for "Segoe UI", which wine does not have: unpinned, wine draws it with
  # whatever face fontconfig offers first, so the width of every text depends on the fonts a
  # machine happens to have. The prefix maps it to Liberation Sans (fonts-liberation) so that
  # text is drawn alike everywhere.
  if ! $unrandomized wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'Segoe UI' /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1; then
    echo "wine-run: the font substitution could not be written to $WINEPREFIX" >&2
    exit 1
  fi
  wineserver -w >/dev/null 2>&1 || true
  : >"$ready"
  exec 9>&-
}

[ -e "$ready" ] || make_prefix
[ "$#" -eq 0 ] || exec $unrandomized wine "$@"
