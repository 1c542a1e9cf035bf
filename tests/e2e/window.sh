#!/usr/bin/env bash
# The directory window driven as a person would: tabs, typing into the fields, Save, New record,
# Archive, Restore, search, row clicks, scrolling and ESCAPE. The store is read back after every
# step that commits, and screenshots are checked at the screen's positions and colours.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=540  # the test's timeout is 600 s

# --- First frame: animals listed, the name field focused ---------------------------------------
start_seeded_window "$data"
expect_pixels "first frame: three animals, the name focused" \
  search $BOX name-focus $FOCUS search-focus $BACKGROUND row0 $BUTTON row2 $BUTTON row3 $BACKGROUND

# --- A new customer ------------------------------------------------------------------------------
# Each click is held until what it does can be seen, and each typed text until it shows in its
# field, so nothing overtakes an input that a slow frame has not taken yet.
click_place customers expect_pixels "customers tab hovered" customers $PRIMARY_HOVERED animals $BUTTON
park_pointer
expect_pixels "customers listed" customers $PRIMARY animals $BUTTON row1 $BUTTON row2 $BACKGROUND
click_place name  # it has the focus already
type_into name "Ada Quint"
press_key Tab
expect_focus "detail field focused" detail
type_into detail "ada.quint@example.test"
click_place save wait_for_sequence "$store" 6 30
assert_store "new customer" \
  record/customer-6/kind=customer record/customer-6/content="Ada Quint" \
  customer-6:detail=ada.quint@example.test record/customer-6/lifecycle=canonical \
  catalog/records/count=6 catalog/records/5=customer-6 catalog/edges/count=3
park_pointer
expect_pixels "new customer row, selected" row2 $PRIMARY row1 $BUTTON row3 $BACKGROUND

# --- A new animal, archived and restored ---------------------------------------------------------
click_place animals expect_pixels "animals tab" animals $PRIMARY_HOVERED customers $BUTTON
click_place new expect_focus "new record: the name focused" name
type_into name "Pepper"
press_key Tab
expect_focus "detail field focused" detail
type_into detail "Dog / first visit"
click_place save wait_for_sequence "$store" 7 30  # the owner field still holds customer-1
assert_store "new animal" \
  record/animal-7/kind=animal record/animal-7/content=Pepper \
  animal-7:detail="Dog / first visit" animal-7:owner=customer-1 record/animal-7/lifecycle=canonical \
  edge/owner-animal-7/from=animal-7 edge/owner-animal-7/to=customer-1 edge/owner-animal-7/kind=owned-by \
  catalog/edges/count=4 catalog/edges/3=owner-animal-7
park_pointer
expect_pixels "four animal rows, the new one selected" row3 $PRIMARY row0 $BUTTON

click_place archive wait_for_sequence "$store" 8 30
assert_store "archived" record/animal-7/lifecycle=archival record/animal-7/content=Pepper catalog/records/count=7
click_place archive wait_for_sequence "$store" 9 30  # it reads Restore
assert_store "restored" record/animal-7/lifecycle=canonical

# --- Search, then edit the found record ----------------------------------------------------------
focus_field "search focused" search
park_pointer
type_into search "Jun"
expect_pixels "search finds one animal" row0 $BUTTON row1 $BACKGROUND
select_row "Juniper selected" 0  # the one row
focus_field "detail field focused" detail
type_into detail " / recheck"
click_place save wait_for_sequence "$store" 10 30
assert_store "edited through the search" \
  record/animal-4/content=Juniper animal-4:detail="Dog / vaccination review / recheck" \
  animal-4:owner=customer-2 edge/owner-animal-4/to=customer-2 catalog/records/count=7

# --- Scrolling -----------------------------------------------------------------------------------
focus_field "search focused again" search
press_key BackSpace 3
park_pointer
expect_pixels "search emptied" row3 $BUTTON
# The name field: the search no longer holds the list at the top.
focus_field "name field focused" name

# Each scroll moves the list by one, and its first row is then archived: Juniper after Down, Mochi
# again after Up (Juniper stays archived). Per step: the key, the store's sequence after the
# archive, the archived record, the other one and its lifecycle, and list rows in their colours.
for step in "Down 11 animal-4 animal-3 canonical row2 $BUTTON row3 $BACKGROUND" \
  "Up 12 animal-3 animal-4 archival row3 $BUTTON row0 $BUTTON"; do
  read -r key sequence first other other_lifecycle rows <<<"$step"
  press_key "$key"
  park_pointer
  expect_pixels "scrolled $key by one" $rows
  select_row "first row selected" 0
  click_place archive wait_for_sequence "$store" "$sequence" 30
  assert_store "archived after scrolling $key" \
    "record/$first/lifecycle=archival" "record/$other/lifecycle=$other_lifecycle"
done

# --- A refused save writes nothing; the corrected form saves ------------------------------------
click_place new wait_area_plain "new record: the name emptied" name
type_into name "Ghost"
focus_field "owner field focused" owner  # holds customer-1
press_key BackSpace 10
wait_area_plain "owner field emptied" owner
type_into owner "nobody"
status_before="$(snapshot_area status)"
# Save: refused, there is no customer "nobody"; the status line says so.
click_place save wait_area_change "refusal shown" "$status_before" status
expect_eq "refused save: store unchanged" "$(store_sequence "$store")" 12
press_key BackSpace 6
wait_area_plain "owner field emptied again" owner
type_into owner "customer-2"
click_place save wait_for_sequence "$store" 13 30
assert_store "saved after a refusal" \
  record/animal-8/content=Ghost animal-8:owner=customer-2 edge/owner-animal-8/to=customer-2 \
  record/animal-9/id= catalog/records/count=8 catalog/edges/count=5

# --- ESCAPE ends the program normally ------------------------------------------------------------
end_windows_with_escape
expect_store_files "after exit" "$data"
assert_store "after exit" sequence=13 catalog/records/count=8 catalog/edges/count=5

finish
