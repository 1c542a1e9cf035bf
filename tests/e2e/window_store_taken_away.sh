#!/usr/bin/env bash
# A window whose store is taken away while it runs, and put back: no save while it is away is
# reported saved or writes anything (no directory, no snapshot file is made), the window keeps
# listing its records, and once the files are back the store is whole and the next save goes in,
# in the same program. Three rounds in one window: the data directory removed and put back whole;
# the snapshot file alone removed; the directory removed and put back file by file, the lock file
# first. Each round saves an existing record twice and then a new one while the store is away.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=260  # the test's timeout is 300 s

away="$WORK/away"

start_seeded_window "$data"
missing=""  # the status line's digest when the store is missing, from the first refusal on

# The data directory's files on one line, or "(none)" without a directory.
listing() {
  if [ -e "$data" ]; then ls -A "$data" | tr '\n' ' '; else echo "(none)"; fi
}

# saves_refused <round> <new name>: Mochi saved twice, then a new animal; each refused with the
# missing-store status, and the data directory left as it was (`left`).
saves_refused() {
  local round="$1" before
  select_row "$round: Mochi selected" 0
  park_pointer
  before="$(snapshot_area status)"
  if [ -z "$missing" ]; then
    click_place save wait_area_change "$round: first save refused" "$before" status
    park_pointer
    missing="$(snapshot_area status)"
  else
    click_place save wait_area_equal "$round: first save refused" "$missing" status
  fi
  click_place save  # again
  park_pointer
  expect_eq "$round: second save refused" "$(snapshot_area status)" "$missing"
  click_place new expect_focus "$round: new record" name
  type_into name "$2"
  press_key Tab
  type_into detail "Dog"
  click_place save
  park_pointer
  expect_eq "$round: the new record refused" "$(snapshot_area status)" "$missing"
  expect_eq "$round: the data directory as it was left" "$(listing)" "$left"
  expect_pixels "$round: the animals still listed" row1 "$BUTTON" row2 "$BUTTON"
  save_shot "$round refused"
}

# store_back_whole <round> <sequence>: the put-back store as it was taken away (one record per
# commit).
store_back_whole() {
  assert_store "$1: put back whole" sequence="$2" catalog/records/count="$2" \
    customer-1:name="Marta Quillfeather" animal-3:name=Mochi
}

# saved_after <round> <sequence> <id> <name>: the form's new animal saved once the store is back.
saved_after() {
  click_place save wait_for_sequence "$store" "$2" 30
  park_pointer
  wait_area_change "$1: saved, the status changed" "$missing" status
  assert_store "$1: saved" sequence="$2" "$3:name=$4" catalog/records/count="$2" animal-3:name=Mochi
  save_shot "$1 saved"
}

# --- Round 1: the data directory removed, put back whole ------------------------------------------
mv "$data" "$away"
left="(none)"
saves_refused "directory removed" "Pepper"
mv "$away" "$data"
store_back_whole "directory removed" 5
saved_after "directory removed" 6 animal-6 Pepper

# --- Round 2: the snapshot file alone removed -----------------------------------------------------
mkdir "$away"
mv "$store" "$away/"
left="store.lock.corvane "
saves_refused "snapshot removed" "Quince"
mv "$away/store.corvane" "$store"
rmdir "$away"
store_back_whole "snapshot removed" 6
saved_after "snapshot removed" 7 animal-7 Quince

# --- Round 3: the directory removed, put back file by file, the lock file first -------------------
mv "$data" "$away"
mkdir "$data"
cp "$away/store.lock.corvane" "$data/"
left="store.lock.corvane "
saves_refused "lock file put back first" "Rowan"
cp "$away/store.corvane" "$store"
store_back_whole "lock file put back first" 7
saved_after "lock file put back first" 8 animal-8 Rowan

end_windows_with_escape
assert_store "after exit" sequence=8 catalog/records/count=8

finish
