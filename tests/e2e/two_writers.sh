#!/usr/bin/env bash
# Two programs saving into one data directory at the same time, as when the program is started
# twice on it: each saves customers through the directory view with pauses between saves, so
# that the other's save falls between its own. Every save a program reported saved must be on
# disk at the end, once; a save the view refused is made again by the program.
. "$(dirname "$0")/lib.sh"

SAVE_RECORDS="${OREB_SAVE_RECORDS:?the save-records tool is not set}"
data="$WORK/data/shared"
store="$data/store.corvane"
count=12

$RUNNER "$SAVE_RECORDS" "$data" first "$count" 150 >"$WORK/first.out" 2>"$WORK/first.err" &
first=$!
$RUNNER "$SAVE_RECORDS" "$data" second "$count" 150 >"$WORK/second.out" 2>"$WORK/second.err" &
second=$!
wait "$first"
expect_eq "first program status" "$?" 0
wait "$second"
expect_eq "second program status" "$?" 0
expect_eq "first program error output" "$(tr -d '\r' <"$WORK/first.err")" ""
expect_eq "second program error output" "$(tr -d '\r' <"$WORK/second.err")" ""

dump="$(dump_store "$store")"
expect_eq "snapshot decodes" "$(dump_value "$dump" ok)" 1
saved="$(cat "$WORK/first.out" "$WORK/second.out" | tr -d '\r' | grep '^saved ')"
expect_eq "saves reported" "$(printf '%s\n' "$saved" | grep -c .)" $((2 * count))
expect_eq "records stored" "$(dump_value "$dump" catalog/records/count)" $((2 * count))
while read -r _ id name; do
  expect_eq "$name stored as $id" "$(dump_value "$dump" "record/$id/content")" "$name"
  expect_stored_once "$dump" "$name"
done <<<"$saved"
echo "refused saves, made again: $(cat "$WORK/first.out" "$WORK/second.out" | grep -c '^refused ')"

finish
