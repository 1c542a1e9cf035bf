#!/usr/bin/env bash
# The directory window driven as a person would: tabs, typing into the fields, Save, New record,
# Archive, Restore, search, row clicks, scrolling and ESCAPE. The store is read back after every
# step that commits, and screenshots are checked at the screen's positions and colours.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=540  # the test's timeout is 600 s

data="$WORK/data"
store="$data/store.corvane"
start_window "$data"
wait_for_sequence "$store" 5 60  # seeded before the window opened

# --- First frame: animals listed, the name field focused ---------------------------------------
park_pointer
expect_pixels "first frame" \
  985 690 $BACKGROUND \
  150 $TAB_Y $PRIMARY \
  320 $TAB_Y $BUTTON \
  300 290 $BOX \
  900 307 $FOCUS \
  100 297 $BACKGROUND \
  300 ${ROW_Y[0]} $BUTTON \
  300 ${ROW_Y[2]} $BUTTON \
  300 ${ROW_Y[3]} $BACKGROUND

# --- A new customer ------------------------------------------------------------------------------
# Each click is held until what it does can be seen, and each typed text until it shows in its
# field, so nothing overtakes an input that a slow frame has not taken yet.
click_at 250 186 expect_pixels "customers tab hovered" 320 $TAB_Y $PRIMARY_HOVERED 150 $TAB_Y $BUTTON
park_pointer
expect_pixels "customers listed" 320 $TAB_Y $PRIMARY 150 $TAB_Y $BUTTON 300 ${ROW_Y[1]} $BUTTON 300 ${ROW_Y[2]} $BACKGROUND
click_at 600 281  # name field, which has the focus already
type_into $(field_area 0) "Ada Quint"
press_key Tab
expect_pixels "detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) "ada.quint@example.test"
click_at 460 548 wait_for_sequence "$store" 6 30  # Save
assert_store "new customer" \
  record/customer-6/kind=customer record/customer-6/content="Ada Quint" \
  customer-6:detail=ada.quint@example.test record/customer-6/lifecycle=canonical \
  catalog/records/count=6 catalog/records/5=customer-6 catalog/edges/count=3
park_pointer
expect_pixels "new customer row, selected" 300 ${ROW_Y[2]} $PRIMARY 300 ${ROW_Y[1]} $BUTTON 300 ${ROW_Y[3]} $BACKGROUND

# --- A new animal, archived and restored ---------------------------------------------------------
click_at 100 186 expect_pixels "animals tab" 150 $TAB_Y $PRIMARY_HOVERED 320 $TAB_Y $BUTTON
click_at 630 548 expect_pixels "new record: the name focused" 900 307 $FOCUS 900 396 $BACKGROUND
type_into $(field_area 0) "Pepper"
press_key Tab
expect_pixels "detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) "Dog / first visit"
click_at 460 548 wait_for_sequence "$store" 7 30  # Save; the owner field still holds customer-1
assert_store "new animal" \
  record/animal-7/kind=animal record/animal-7/content=Pepper \
  animal-7:detail="Dog / first visit" animal-7:owner=customer-1 \
  record/animal-7/lifecycle=canonical \
  edge/owner-animal-7/from=animal-7 edge/owner-animal-7/to=customer-1 edge/owner-animal-7/kind=owned-by \
  catalog/edges/count=4 catalog/edges/3=owner-animal-7
park_pointer
expect_pixels "four animal rows, the new one selected" 300 ${ROW_Y[3]} $PRIMARY 300 ${ROW_Y[0]} $BUTTON

click_at 840 548 wait_for_sequence "$store" 8 30  # Archive
assert_store "archived" record/animal-7/lifecycle=archival record/animal-7/content=Pepper catalog/records/count=7
click_at 840 548 wait_for_sequence "$store" 9 30  # Restore
assert_store "restored" record/animal-7/lifecycle=canonical

# --- Search, then edit the found record ----------------------------------------------------------
click_at 150 272 expect_pixels "search focused" 100 297 $FOCUS 900 396 $BACKGROUND
park_pointer
type_into "${SEARCH_TEXT_AREA[@]}" "Jun"
expect_pixels "search finds one animal" 300 ${ROW_Y[0]} $BUTTON 300 ${ROW_Y[1]} $BACKGROUND
click_at 100 338 expect_pixels "Juniper selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED  # the one row
click_at 600 370 expect_pixels "detail field focused" 900 396 $FOCUS 100 297 $BACKGROUND
type_into $(field_area 1) " / recheck"
click_at 460 548 wait_for_sequence "$store" 10 30  # Save
assert_store "edited through the search" \
  record/animal-4/content=Juniper animal-4:detail="Dog / vaccination review / recheck" \
  animal-4:owner=customer-2 edge/owner-animal-4/to=customer-2 catalog/records/count=7

# --- Scrolling -----------------------------------------------------------------------------------
click_at 150 272 expect_pixels "search focused again" 100 297 $FOCUS
press_key BackSpace 3
park_pointer
expect_pixels "search emptied" 300 ${ROW_Y[3]} $BUTTON
# The name field: the search no longer holds the list at the top.
click_at 600 281 expect_pixels "name field focused" 900 307 $FOCUS 100 297 $BACKGROUND
press_key Down
park_pointer
expect_pixels "scrolled by one" 300 ${ROW_Y[2]} $BUTTON 300 ${ROW_Y[3]} $BACKGROUND
click_at 100 338 expect_pixels "first row selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED  # now Juniper
click_at 840 548 wait_for_sequence "$store" 11 30  # Archive
assert_store "archived after scrolling" record/animal-4/lifecycle=archival record/animal-3/lifecycle=canonical
press_key Up
park_pointer
expect_pixels "scrolled back" 300 ${ROW_Y[3]} $BUTTON 300 ${ROW_Y[0]} $BUTTON
click_at 100 338 expect_pixels "first row selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED  # Mochi again
click_at 840 548 wait_for_sequence "$store" 12 30  # Archive
assert_store "archived after scrolling back" record/animal-3/lifecycle=archival record/animal-4/lifecycle=archival

# --- A refused save writes nothing; the corrected form saves ------------------------------------
click_at 630 548 wait_area_plain "new record: the name emptied" $(field_area 0)
type_into $(field_area 0) "Ghost"
click_at 600 459 expect_pixels "owner field focused" 900 485 $FOCUS 900 307 $BACKGROUND  # holds customer-1
press_key BackSpace 10
wait_area_plain "owner field emptied" $(field_area 2)
type_into $(field_area 2) "nobody"
status_before="$(snapshot_area "${STATUS_AREA[@]}")"
# Save: refused, there is no customer "nobody"; the status line says so.
click_at 460 548 wait_area_change "refusal shown" "$status_before" "${STATUS_AREA[@]}"
expect_eq "refused save: store unchanged" "$(store_sequence "$store")" 12
press_key BackSpace 6
wait_area_plain "owner field emptied again" $(field_area 2)
type_into $(field_area 2) "customer-2"
click_at 460 548 wait_for_sequence "$store" 13 30  # Save
assert_store "saved after a refusal" \
  record/animal-8/content=Ghost animal-8:owner=customer-2 edge/owner-animal-8/to=customer-2 \
  record/animal-9/id= catalog/records/count=8 catalog/edges/count=5

# --- ESCAPE ends the program normally ------------------------------------------------------------
press_key Escape
if wait_for_exit 60; then
  expect_eq "exit status after ESCAPE" "$APP_STATUS" 0
  expect_eq "error output" "$(tr -d '\r' <"$WORK/window.err")" ""
else
  fail "oreb-vet did not end after ESCAPE"
fi
[ -e "$data/store.wal.corvane" ] && fail "a write-ahead file was left behind"
[ -e "$data/store.next.corvane" ] && fail "a next file was left behind"
assert_store "after exit" sequence=13 catalog/records/count=8 catalog/edges/count=5

finish
