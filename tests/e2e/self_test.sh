#!/usr/bin/env bash
# The self-test as a user runs it: on a fresh data directory and again on the same directory,
# with its output and exit status, and the store files read back through the store's decoder.
. "$(dirname "$0")/lib.sh"

data="$WORK/data/oreb-vet"  # the parent does not exist either: the program makes the tree
store="$data/store.corvane"

run_oreb_vet MIVO_EXAMPLE_DATA="$data" MIVO_EXAMPLE_TEST=1
expect_eq "first run status" "$RUN_STATUS" 0
expect_eq "first run output" "$RUN_OUT" "oreb-vet: pass"
expect_eq "first run error output" "$RUN_ERR" ""

check_store() {
  local run="$1" sequence="$2" dump
  dump="$(dump_store "$store")"
  expect_eq "$run: snapshot decodes" "$(dump_value "$dump" ok)" 1
  expect_eq "$run: sequence" "$(dump_value "$dump" sequence)" "$sequence"
  expect_eq "$run: record catalog count" "$(dump_value "$dump" catalog/records/count)" 5
  local i=0
  for id in customer-1 customer-2 animal-3 animal-4 animal-5; do
    expect_eq "$run: record catalog slot $i" "$(dump_value "$dump" "catalog/records/$i")" "$id"
    expect_eq "$run: $id stored" "$(dump_value "$dump" "record/$id/id")" "$id"
    i=$((i + 1))
  done
  expect_eq "$run: edge catalog count" "$(dump_value "$dump" catalog/edges/count)" 3
  i=0
  for pair in animal-3:customer-1 animal-4:customer-2 animal-5:customer-1; do
    local from="${pair%%:*}" to="${pair##*:}"
    expect_eq "$run: edge catalog slot $i" "$(dump_value "$dump" "catalog/edges/$i")" "owner-$from"
    expect_eq "$run: owner-$from from" "$(dump_value "$dump" "edge/owner-$from/from")" "$from"
    expect_eq "$run: owner-$from to" "$(dump_value "$dump" "edge/owner-$from/to")" "$to"
    expect_eq "$run: owner-$from kind" "$(dump_value "$dump" "edge/owner-$from/kind")" "owned-by"
    i=$((i + 1))
  done
  expect_eq "$run: animal-3 archived" "$(dump_value "$dump" record/animal-3/lifecycle)" archival
  expect_eq "$run: animal-3 detail" "$(dump_value "$dump" animal-3:detail)" Cat
  expect_eq "$run: animal-3 name" "$(dump_value "$dump" record/animal-3/content)" Mochi
  expect_eq "$run: animal-3 updated" "$(dump_value "$dump" record/animal-3/updated)" "$((sequence + 1))"
  expect_eq "$run: Juniper" "$(dump_value "$dump" animal-4:detail)" "Dog / vaccination review"
  expect_eq "$run: customers are active" "$(dump_value "$dump" record/customer-1/lifecycle)" canonical
  expect_store_files "$run" "$data"
}

# Five seeding commits, then the update and the archive.
check_store "first run" 7

# The same directory again: nothing is seeded over the five records; update and archive again.
run_oreb_vet MIVO_EXAMPLE_DATA="$data" MIVO_EXAMPLE_TEST=1
expect_eq "second run status" "$RUN_STATUS" 0
expect_eq "second run output" "$RUN_OUT" "oreb-vet: pass"
expect_eq "second run error output" "$RUN_ERR" ""
check_store "second run" 9

# An empty MIVO_EXAMPLE_DATA means data/oreb-vet below the working directory.
mkdir -p "$WORK/cwd"
# Run in this shell (not a subshell), so that a failed check counts.
cd "$WORK/cwd" || exit 1
run_oreb_vet MIVO_EXAMPLE_DATA= MIVO_EXAMPLE_TEST=1
cd - >/dev/null || exit 1
expect_eq "default directory status" "$RUN_STATUS" 0
expect_eq "default directory output" "$RUN_OUT" "oreb-vet: pass"
expect_eq "default directory store" "$(store_sequence "$WORK/cwd/data/oreb-vet/store.corvane")" 7

finish
