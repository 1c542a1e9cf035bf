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

data="$WORK/data"
store="$data/store.corvane"
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

start_window "$data"
wait_for_sequence "$store" 5 60
park_pointer
expect_pixels "first frame" 985 690 $BACKGROUND 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON

# A new animal in the form; the owner field still holds customer-1, as the form opened.
click_at 630 548 expect_pixels "new record: the name focused" 900 307 $FOCUS 900 396 $BACKGROUND
wait_area_plain "name field empty" $(field_area 0)
type_into $(field_area 0) "Pepper"
press_key Tab
expect_pixels "detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) "Dog / first visit"
park_pointer
ready="$(snapshot_area "${STATUS_AREA[@]}")"
typed_name="$(snapshot_area $(field_area 0))"
typed_detail="$(snapshot_area $(field_area 1))"

# --- The snapshot file made unchangeable: saves are refused ---------------------------------------
chattr +i "$store" || { fail "chattr +i on the store failed"; finish; }
snapshot_before="$(md5sum <"$store")"
click_at 460 548 wait_area_change "first refused save: status changed" "$ready" "${STATUS_AREA[@]}"
park_pointer
first_refusal="$(snapshot_area "${STATUS_AREA[@]}")"
expect_eq "first refused save: sequence" "$(store_sequence "$store")" 5
expect_eq "first refused save: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
[ -e "$wal" ] || fail "first refused save: no write-ahead file was left"
expect_eq "first refused save: the typed name kept" "$(snapshot_area $(field_area 0))" "$typed_name"
expect_eq "first refused save: the typed detail kept" "$(snapshot_area $(field_area 1))" "$typed_detail"
save_shot "first save refused"

# The view's database did not open again after that commit (its write-ahead file cannot be put in
# place): this save opens it again first, and is refused with what the open says.
click_at 460 548 wait_area_change "second refused save: status changed" "$first_refusal" "${STATUS_AREA[@]}"
park_pointer
expect_eq "second refused save: sequence" "$(store_sequence "$store")" 5
expect_eq "second refused save: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
[ -e "$wal" ] || fail "second refused save: the write-ahead file went"
save_shot "second save refused"

# --- The flag removed: the same program saves -----------------------------------------------------
chattr -i "$store" || fail "chattr -i on the store failed"
refused="$(snapshot_area "${STATUS_AREA[@]}")"
# The open puts the first save's write-ahead file in place (sequence 6, the animal as submitted);
# the save then writes the same animal again rather than a second one.
click_at 460 548 wait_for_sequence "$store" 7 30  # Save
wait_area_change "saved: status changed" "$refused" "${STATUS_AREA[@]}"
park_pointer
dump="$(dump_store "$store")"
expect_eq "saved: sequence" "$(dump_value "$dump" sequence)" 7
expect_eq "Pepper stored once" "$(printf '%s\n' "$dump" | grep -c '^record/[^/]*/content=Pepper$')" 1
assert_store "saved without a restart" \
  record/animal-6/content=Pepper animal-6:detail="Dog / first visit" \
  animal-6:owner=customer-1 record/animal-6/lifecycle=canonical \
  edge/owner-animal-6/to=customer-1 catalog/records/count=6 catalog/edges/count=4
expect_eq "files in the data directory" "$(ls -A "$data" | tr '\n' ' ')" "store.corvane store.lock.corvane "
expect_pixels "four animals, the new one selected" \
  300 ${ROW_Y[3]} $PRIMARY 300 ${ROW_Y[2]} $BUTTON 300 ${ROW_Y[4]} $BACKGROUND
save_shot "saved after the flag was removed"

end_windows_with_escape
assert_store "after exit" sequence=7 catalog/records/count=6

finish
