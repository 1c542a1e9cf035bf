#!/usr/bin/env bash
# A window whose store became unchangeable while it ran, and changeable again: the snapshot file
# is made immutable (chattr +i), so a save writes its write-ahead file but cannot move the new
# snapshot into place. The window refuses the save and says so, twice, and the write-ahead file
# stays. Once the flag is gone, the next Save goes through in the same program, without a restart:
# the new animal is stored once, and no write-ahead file is left. Needs a file system and rights
# that allow the immutable flag; skipped otherwise.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=110  # the test's timeout is 150 s

wal="$data/store.wal.corvane"

# The immutable flag is taken off before the work directory goes, however the test ends: an
# immutable file cannot be removed.
trap 'chattr -i "$store" 2>/dev/null; cleanup_work' EXIT
probe="$WORK/immutable-probe"
touch "$probe"
if ! reason="$(chattr +i "$probe" 2>&1)"; then
  echo "SKIP: the immutable flag cannot be set here (chattr +i: ${reason:-no message})" >&2
  exit 77
fi
chattr -i "$probe"

start_seeded_window "$data"

# A new animal in the form; the owner field still holds customer-1, as the form opened.
click_place new expect_focus "new record: the name focused" name
wait_area_plain "name field empty" name
type_into name "Pepper"
press_key Tab
expect_focus "detail field focused" detail
type_into detail "Dog / first visit"
park_pointer
ready="$(snapshot_area status)"
typed_name="$(snapshot_area name)"
typed_detail="$(snapshot_area detail)"

# refused_save <what> <status before>: Save is clicked and held until the status line changes;
# nothing is stored, the write-ahead file stays and the form keeps the typed texts.
refused_save() {
  click_place save wait_area_change "$1: status changed" "$2" status
  park_pointer
  expect_eq "$1: sequence" "$(store_sequence "$store")" 5
  expect_eq "$1: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
  [ -e "$wal" ] || fail "$1: no write-ahead file is there"
  expect_eq "$1: the typed name kept" "$(snapshot_area name)" "$typed_name"
  expect_eq "$1: the typed detail kept" "$(snapshot_area detail)" "$typed_detail"
  save_shot "$1"
}

# --- The snapshot file made unchangeable: saves are refused ---------------------------------------
chattr +i "$store" || { fail "chattr +i on the store failed"; finish; }
snapshot_before="$(md5sum <"$store")"
refused_save "first refused save" "$ready"
# The view's database did not open again after that commit (its write-ahead file cannot be put in
# place): this save opens it again first, and is refused with what the open says.
refused_save "second refused save" "$(snapshot_area status)"

# --- The flag removed: the same program saves -----------------------------------------------------
chattr -i "$store" || fail "chattr -i on the store failed"
refused="$(snapshot_area status)"
# The open puts the first save's write-ahead file in place (sequence 6, the animal as submitted);
# the save then writes the same animal again rather than a second one.
click_place save wait_for_sequence "$store" 7 30
wait_area_change "saved: status changed" "$refused" status
park_pointer
dump="$(dump_store "$store")"
expect_eq "saved: sequence" "$(dump_value "$dump" sequence)" 7
expect_stored_once "$dump" Pepper
assert_store "saved without a restart" \
  record/animal-6/content=Pepper animal-6:detail="Dog / first visit" animal-6:owner=customer-1 \
  record/animal-6/lifecycle=canonical edge/owner-animal-6/to=customer-1 catalog/records/count=6 \
  catalog/edges/count=4
expect_store_files "saved" "$data"
expect_pixels "four animals, the new one selected" row3 $PRIMARY row2 $BUTTON row4 $BACKGROUND
save_shot "saved after the flag was removed"

end_windows_with_escape
assert_store "after exit" sequence=7 catalog/records/count=6

finish
