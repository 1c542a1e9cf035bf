#!/usr/bin/env bash
# A double- or triple-click never keeps the user's text over what another window saved. B changes a
# detail, A saves another text into it; B double-clicks Save: the first click stops at the
# conflict, the second does nothing (the store keeps A's text and its sequence), with B focused and
# again, slower, with B clicked without the focus. A single Save click afterwards writes B's text.
# A double-click on Archive is stopped the same way (the button turns to Restore, nothing is
# written). A triple-click, its clicks 300 ms apart, is one burst of clicks as a double-click is:
# on Save and on Archive it stops at the conflict and writes nothing, and a single Save click
# afterwards writes B's text. A long value of A's is shortened so that the status's second line
# ends inside the form.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=200  # the test's timeout is 240 s

# stopped_clicks <what> <place> <clicks> <delay ms> <digest> <area> <sequence> <record> <A's detail>:
# B (the current window), showing the digest in the area (status or status2), gets the number of
# clicks on the place, the delay apart, as the system sends them, not raised first. Once a frame
# after the last release has run, the area shows something else that is not a save's status (A's,
# a_saved), and nothing was written: the store holds A's detail of the record at the sequence it
# had.
stopped_clicks() {
  local before
  wait_area_equal "$1: B's $6 as before" "$5" "$6"
  before="$(md5sum <"$store")"
  read_place "$2"
  xdotool mousemove --window "$WIN" "$PLACE_X" "$PLACE_Y" click --repeat "$3" --delay "$4" 1
  release_seen "$PLACE_X" "$PLACE_Y"
  wait_area_change "$1: B's $6 changed" "$5" "$6"
  [ "$(snapshot_area status)" != "$a_saved" ] || fail "$1: B's status reads as a save"
  expect_eq "$1: snapshot file unchanged" "$(md5sum <"$store")" "$before"
  expect_eq "$1: sequence" "$(store_sequence "$store")" "$7"
  expect_eq "$1: A's detail still stored" "$(record_field "$8" detail)" "$9"
}

# both_change <name> <row> <B's text> <A's text> <sequence>: B types its text into the detail of
# the record on the row, and its detail, status and archive areas are kept (b_detail, b_status,
# b_archive); then A types its own text there and saves, which takes the store to the sequence.
both_change() {
  type_into_record 2 "B ($1)" "$2" detail "$3"
  park_pointer
  b_detail="$(snapshot_area detail)" b_status="$(snapshot_area status)" b_archive="$(snapshot_area archive)"
  type_into_record 1 "A ($1)" "$2" detail "$4"
  click_place save wait_for_sequence "$store" "$5" 30
  park_pointer
}

# archive_stopped <how> <clicks> <delay ms> <sequence> <record> <A's detail> <B's detail>: B's
# Archive clicked so stops at the conflict, and the record stays unarchived though the button
# reads Restore; a single Save then stores B's detail with the record archived.
archive_stopped() {
  stopped_clicks "B's Archive $1" archive "$2" "$3" "$b_status" status "$4" "$5" "$6"
  assert_store "$5 after B's Archive $1" "record/$5/lifecycle=canonical"
  [ "$(snapshot_area archive)" != "$b_archive" ] || fail "B's button does not read Restore after the Archive $1"
  save_shot "B's Archive $1"
  click_place save wait_for_sequence "$store" $(($4 + 1)) 30
  assert_store "B's Save after the Archive $1" "$5:detail=$7" "record/$5/lifecycle=archival"
}

start_window_pair "$data"

# --- Save double-clicked, on B with the focus and on B without it ---------------------------------
both_change Mochi 0 " / B: weighed" " / A: vaccinated" 6
assert_store "A's detail of Mochi" animal-3:detail="Cat / annual wellness / A: vaccinated"
a_saved="$(snapshot_area status)"  # Saved animal-3
save_shot "A saved Mochi's detail"

use_window 2
raise_window
click_place background  # the focus: B reads A's save, its status stays as it was (Ready)
stopped_clicks "B's Save double-clicked" save 2 120 "$b_status" status 6 animal-3 \
  "Cat / annual wellness / A: vaccinated"
b_conflict2="$(snapshot_area status2)"  # A's text, on the second line
expect_eq "B: its typed detail kept" "$(snapshot_area detail)" "$b_detail"
save_shot "B double-clicked Save"

use_window 1
raise_window
focus_field "A: Mochi's detail focused again" detail
type_into detail " and boosted"
click_place save wait_for_sequence "$store" 7 30
a_detail2="Cat / annual wellness / A: vaccinated and boosted"
assert_store "A's second detail of Mochi" animal-3:detail="$a_detail2"
park_pointer
# B on top without the focus: it has not read A's second save (with the focus it would name it
# at once), and its status still names A's first text.
use_window 2
raise_window
stopped_clicks "B's Save double-clicked without the focus" save 2 250 "$b_conflict2" status2 7 animal-3 \
  "$a_detail2"
expect_eq "B: its typed detail still kept" "$(snapshot_area detail)" "$b_detail"
save_shot "B double-clicked Save without the focus"

click_place save wait_for_sequence "$store" 8 30
assert_store "B's single Save" animal-3:detail="Cat / annual wellness / B: weighed"
park_pointer
wait_area_equal "B: status reads as a save (Saved animal-3)" "$a_saved" status
save_shot "B saved with one click"

# --- Archive double-clicked ------------------------------------------------------------------------
both_change Clover 2 " / B: ears checked" " / A: claws trimmed" 9
use_window 2
raise_window
archive_stopped double-clicked 2 120 9 animal-5 "Rabbit / routine visit / A: claws trimmed" \
  "Rabbit / routine visit / B: ears checked"

# --- Save and Archive triple-clicked ---------------------------------------------------------------
mochi="Cat / annual wellness / B: weighed"
both_change Mochi 0 " / B: brushed" " / A: dewormed" 11
use_window 2
raise_window
stopped_clicks "B's Save triple-clicked" save 3 300 "$b_status" status 11 animal-3 "$mochi / A: dewormed"
expect_eq "B: its typed detail kept after the triple-click" "$(snapshot_area detail)" "$b_detail"
save_shot "B triple-clicked Save"
click_place save wait_for_sequence "$store" 12 30
assert_store "B's single Save after the triple-click" animal-3:detail="$mochi / B: brushed"
park_pointer
wait_area_equal "B: status reads as a save after the triple-click" "$a_saved" status
save_shot "B saved with one click after the triple-click"

both_change Mochi 0 " / B: combed" " / A: bathed" 13
use_window 2
raise_window
archive_stopped triple-clicked 3 300 13 animal-3 "$mochi / B: brushed / A: bathed" "$mochi / B: brushed / B: combed"
park_pointer
save_shot "B saved Mochi archived with one click"

# --- A long value: the status's second line ends inside the form ---------------------------------
type_into_record 2 "B (Juniper)" 1 detail " / B: teeth cleaned"
park_pointer
b_status="$(snapshot_area status)"
use_window 1
raise_window
select_row "A (Juniper): row 1 selected" 1
focus_field "A (Juniper): detail field focused" detail
juniper="$(record_field animal-4 detail)"
press_key BackSpace "${#juniper}"
wait_area_plain "A: Juniper's detail cleared" detail
long="$(printf 'W%.0s' $(seq 60))"
type_into detail "$long"
click_place save wait_for_sequence "$store" 15 30
assert_store "A's long detail of Juniper" animal-4:detail="$long"
use_window 2
raise_window
wait_area_equal "B: status as before A's long detail" "$b_status" status
click_place save wait_area_change "B: Save stopped by A's long detail" "$b_status" status
park_pointer
expect_eq "B's stopped Save: sequence" "$(store_sequence "$store")" 15
save_shot "B's status names A's long detail"
# The form ends at x 948, the window at 1000: no glyph of either line lies right of the form.
shot="$WORK/long.png"
import -window root "$shot" 2>/dev/null
read_place status2
line2=("${PLACE[@]}")
read_place status
expect_eq "no status text right of the form" \
  "$(label_count "$shot" 948 "${PLACE[1]}" 52 $((line2[1] + line2[3] - PLACE[1])))" 0
[ "$(label_count "$shot" "${PLACE[@]}")" -gt 0 ] || fail "the status's first line shows no text"
[ "$(label_count "$shot" "${line2[@]}")" -gt 0 ] || fail "the status's second line shows no text"
# The value is cut to fill the line: its end lies less than one W short of the form's edge.
[ "$(label_count "$shot" 920 "${line2[1]}" 28 "${line2[3]}")" -gt 0 ] || fail "the status's second line ends before x 920"

end_windows_with_escape
assert_store "final store" sequence=15 catalog/records/count=5 animal-4:detail="$long" \
  animal-3:detail="$mochi / B: brushed / B: combed" record/animal-3/lifecycle=archival \
  record/animal-5/lifecycle=archival
finish
