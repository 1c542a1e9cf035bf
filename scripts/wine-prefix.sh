#!/bin/sh
# Makes the wine prefix $WINEPREFIX once, before any program runs in it: wine's prefix creation,
# the font substitution the window tests rely on, and the end of the server that made them.
# Safe to call from many processes at once: the first one makes the prefix under a lock and the
# others wait for it, then find it made. Every later call returns at once.
#
# A program started while wine is still making the prefix sees wine's set-up messages in its own
# output, and its window can open before the prefix's settings are in place; and the server that
# made the prefix ends a few seconds later, which can catch a process connecting to it.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
ready="$WINEPREFIX/.oreb-prefix-ready"
[ -e "$ready" ] && exit 0

mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -e "$ready" ] && exit 0

# Wine runs without address randomization, as the build's wine-run starts it: randomized, about
# one start in several thousand ends at once, its heap over the address of wine's shared data.
unrandomized() {
  setarch "$(uname -m)" -R "$@"
}

unrandomized wineboot -i >/dev/null 2>&1 || true
# The program asks for "Segoe UI", which wine does not have: unpinned, wine draws it with whatever
# face fontconfig offers first, so the width of every text depends on the fonts a machine happens
# to have. The prefix maps it to Liberation Sans (fonts-liberation) so that text is drawn alike
# everywhere.
if ! unrandomized wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'Segoe UI' /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1; then
  echo "wine-prefix: the font substitution could not be written to $WINEPREFIX" >&2
  exit 1
fi
# The server that made the prefix must be gone before a program starts in it.
wineserver -w >/dev/null 2>&1 || true
: >"$ready"
