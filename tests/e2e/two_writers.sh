#!/usr/bin/env bash
# Two programs saving into one data directory at the same time, as when the program is started
# twice on it: each saves customers through the directory view with pauses between saves, so
# that the other's save falls between its own. Every save a program reported saved must be on
# disk at the end, once; a save the view refused is made again by the program.
#
# With OREB_UNREPLACEABLE_STRETCHES=1 a third process makes the snapshot file immutable
# (chattr +i) and changeable again, for random stretches, while the two save: a commit then
# writes its write-ahead file but cannot move the new snapshot into place, the store's state is
# that file, and the save is kept there. The other program must not write over a kept save,
# and refuses its own until the file can be replaced. At the end the flag is taken off and the
# store opened once more, which moves a kept write-ahead file into place: every save answered
# true, kept or saved, must be in the snapshot, once. Needs a file system and rights that allow
# the immutable flag; skipped otherwise.
. "$(dirname "$0")/lib.sh"

SAVE_RECORDS="${OREB_SAVE_RECORDS:?the save-records tool is not set}"
data="$WORK/data/shared"
store="$data/store.corvane"
count=12
unreplaceable="${OREB_UNREPLACEABLE_STRETCHES:-0}"

first="" second="" toggler=""
stop_file="$WORK/stop-toggling"

# How long the snapshot file stays immutable at most, in milliseconds. The Windows build tries a
# move that the file system refuses again for about half a second (as it waits for a scanner to
# let go of a file): under wine shorter stretches would be outlasted by every commit, so there
# they last up to a second.
immutable_ms=250
[ -n "$RUNNER" ] && immutable_ms=1000

# pause_up_to <milliseconds>: sleeps a random time from 20 ms to the given one.
pause_up_to() {
  local ms=$((20 + RANDOM % ($1 - 19)))
  sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
}

# toggle_immutable: until the stop file is there, the snapshot file is immutable for a random
# stretch, then changeable for 20 to 250 ms, and so on; it is left changeable. Not there yet
# (before the first save) it is only waited for. Each chattr runs to its end: the loop stops
# only between them.
toggle_immutable() {
  while [ ! -e "$stop_file" ]; do
    chattr +i "$store" 2>/dev/null
    pause_up_to "$immutable_ms"
    chattr -i "$store" 2>/dev/null
    pause_up_to 250
  done
}

# stop_toggling: ends the toggling process and takes the flag off for good.
stop_toggling() {
  [ -n "$toggler" ] || return 0
  : >"$stop_file"
  wait "$toggler" 2>/dev/null
  toggler=""
  chattr -i "$store" 2>/dev/null
}

# However the test ends, the savers and the toggling end and no file stays immutable (an immutable
# file cannot be removed with the work directory).
cleanup_writers() {
  local pid
  for pid in $first $second; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  stop_toggling
  cleanup_work
}
trap cleanup_writers EXIT
trap 'exit 1' INT TERM HUP

if [ "$unreplaceable" = 1 ]; then
  probe="$WORK/immutable-probe"
  : >"$probe"
  if ! reason="$(chattr +i "$probe" 2>&1)"; then
    echo "SKIP: the immutable flag cannot be set here (chattr +i: ${reason:-no message})" >&2
    exit 77
  fi
  chattr -i "$probe"
fi

$RUNNER "$SAVE_RECORDS" "$data" first "$count" 150 >"$WORK/first.out" 2>"$WORK/first.err" &
first=$!
$RUNNER "$SAVE_RECORDS" "$data" second "$count" 150 >"$WORK/second.out" 2>"$WORK/second.err" &
second=$!
if [ "$unreplaceable" = 1 ]; then
  toggle_immutable &
  toggler=$!
fi
wait "$first"
expect_eq "first program status" "$?" 0
wait "$second"
expect_eq "second program status" "$?" 0
first="" second=""
expect_eq "first program error output" "$(tr -d '\r' <"$WORK/first.err")" ""
expect_eq "second program error output" "$(tr -d '\r' <"$WORK/second.err")" ""

if [ "$unreplaceable" = 1 ]; then
  stop_toggling
  # An open of the store moves a kept write-ahead file into place.
  run_printing "the last open" "$WORK/open.out" "$WORK/open.err" $RUNNER "$SAVE_RECORDS" "$data" last 0
  expect_eq "last open status" "$RUN_STATUS" 0
  expect_eq "last open output" "$(cat "$WORK/open.out" "$WORK/open.err" | tr -d '\r')" ""
fi

dump="$(dump_store "$store")"
expect_eq "snapshot decodes" "$(dump_value "$dump" ok)" 1
expect_store_files "at the end" "$data"
saved="$(cat "$WORK/first.out" "$WORK/second.out" | tr -d '\r' | grep -E '^(saved|kept) ')"
expect_eq "saves reported" "$(printf '%s\n' "$saved" | grep -c .)" $((2 * count))
expect_eq "records stored" "$(dump_value "$dump" catalog/records/count)" $((2 * count))
while read -r _ id name; do
  expect_eq "$name stored as $id" "$(dump_value "$dump" "record/$id/content")" "$name"
  expect_stored_once "$dump" "$name"
done <<<"$saved"
echo "kept saves: $(printf '%s\n' "$saved" | grep -c '^kept ')"
echo "refused saves, made again: $(cat "$WORK/first.out" "$WORK/second.out" | grep -c '^refused ')"

finish
