#!/usr/bin/env bash
# The program started twice on one data directory, both windows open, as a user does by mistake.
# Window A saves a new customer; window B, which read the store before that save, reads it again
# when it gets the keyboard focus: it lists A's customer, and its own new customer is saved next to
# it. At the end the store holds both customers, once each, and the five seeded records: the save A
# reported done was not lost to B's.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=300  # the test's timeout is 360 s

data="$WORK/data"
store="$data/store.corvane"
NAME_A="Ada Quint"
NAME_B="Birger Holm"

# --- Two windows on one directory --------------------------------------------------------------
start_window "$data"  # A: seeds the demo records
wait_for_sequence "$store" 5 60
park_pointer
expect_pixels "A: first frame" 985 690 $BACKGROUND 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON
a_place="$WIN_X,$WIN_Y"

start_window "$data"  # B: opens on the seeded store
park_pointer
expect_pixels "B: first frame" 985 690 $BACKGROUND 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON
expect_eq "B opens where A is" "$WIN_X,$WIN_Y" "$a_place"
expect_eq "store after B opened" "$(store_sequence "$store")" 5

# There is no window manager: B covers A entirely. B is moved right and down so that A's tabs
# and list show to its left; each window is raised before it is used.
xdotool windowmove "$WIN" 280 100
deadline=$((SECONDS + 10))
while read_window_geometry && [ "$WIN_X,$WIN_Y" != "280,100" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
expect_eq "B moved" "$WIN_X,$WIN_Y" "280,100"
expect_eq "B's size after the move" "$WIN_SIZE" "1000x700"
use_window 1
expect_eq "A stayed" "$WIN_X,$WIN_Y" "$a_place"
# Both windows on the screen: B's tabs at B's new place, A's tabs at A's place, left of B.
use_window 2
park_pointer
expect_pixels "B at its new place" 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON 985 690 $BACKGROUND
use_window 1
expect_pixels "A left of B" 150 $TAB_Y $PRIMARY 250 $TAB_Y $BUTTON 600 60 $BACKGROUND

# --- A: a new customer -------------------------------------------------------------------------
raise_window
park_pointer
expect_pixels "A raised: its Save button over B" 150 $TAB_Y $PRIMARY 461 $BUTTON_Y $PRIMARY 985 690 $BACKGROUND
click_at 250 186 expect_pixels "A: customers tab hovered" 320 $TAB_Y $PRIMARY_HOVERED 150 $TAB_Y $BUTTON
park_pointer
expect_pixels "A: two customers listed" 320 $TAB_Y $PRIMARY 300 ${ROW_Y[1]} $BUTTON 300 ${ROW_Y[2]} $BACKGROUND
click_at 630 548 expect_pixels "A: new record, the name focused" 900 307 $FOCUS 900 396 $BACKGROUND
wait_area_plain "A: name field empty" $(field_area 0)
type_into $(field_area 0) "$NAME_A"
click_at 460 548 wait_for_sequence "$store" 6 30  # Save
assert_store "A's customer saved" \
  record/customer-6/kind=customer record/customer-6/content="$NAME_A" record/customer-6/lifecycle=canonical \
  catalog/records/count=6
park_pointer
expect_pixels "A: three customers, the new one selected" \
  300 ${ROW_Y[1]} $BUTTON 300 ${ROW_Y[2]} $PRIMARY 300 ${ROW_Y[3]} $BACKGROUND

# --- B: gets the focus, reads A's save, and saves its own customer ----------------------------
use_window 2
raise_window
park_pointer
expect_pixels "B raised: animals, as it opened" 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON 461 $BUTTON_Y $PRIMARY
click_at 250 186 expect_pixels "B: customers tab hovered" 320 $TAB_Y $PRIMARY_HOVERED 150 $TAB_Y $BUTTON
park_pointer
# B read the store before A saved; with the keyboard focus it reads it again and lists A's
# customer as a third row.
expect_pixels "B: three customers listed (A's read on focus)" \
  320 $TAB_Y $PRIMARY 300 ${ROW_Y[1]} $BUTTON 300 ${ROW_Y[2]} $BUTTON 300 ${ROW_Y[3]} $BACKGROUND
click_at 630 548 expect_pixels "B: new record, the name focused" 900 307 $FOCUS 900 396 $BACKGROUND
wait_area_plain "B: name field empty" $(field_area 0)
type_into $(field_area 0) "$NAME_B"
click_at 460 548 wait_for_sequence "$store" 7 30  # Save
assert_store "B's customer saved next to A's" \
  record/customer-7/content="$NAME_B" record/customer-6/content="$NAME_A" catalog/records/count=7
park_pointer
expect_pixels "B: four customers, its own selected" \
  300 ${ROW_Y[2]} $BUTTON 300 ${ROW_Y[3]} $PRIMARY 300 ${ROW_Y[4]} $BACKGROUND

# --- Both programs end normally; the store holds everything ------------------------------------
end_windows_with_escape

dump="$(dump_store "$store")"
expect_eq "store decodes" "$(dump_value "$dump" ok)" 1
expect_eq "final sequence" "$(dump_value "$dump" sequence)" 7
expect_eq "records stored" "$(dump_value "$dump" catalog/records/count)" 7
assert_store "both customers" \
  record/customer-6/content="$NAME_A" record/customer-6/kind=customer \
  record/customer-7/content="$NAME_B" record/customer-7/kind=customer
for name in "Marta Quillfeather" "Tobias Wrenhollow" Mochi Juniper Clover "$NAME_A" "$NAME_B"; do
  expect_eq "$name stored once" "$(printf '%s\n' "$dump" | grep -c "^record/[^/]*/content=$name\$")" 1
done
expect_eq "files in the data directory" "$(ls -A "$data" | tr '\n' ' ')" "store.corvane store.lock.corvane "
assert_store "seeded records" \
  record/customer-1/content="Marta Quillfeather" record/customer-2/content="Tobias Wrenhollow" \
  record/animal-3/content=Mochi record/animal-4/content=Juniper record/animal-5/content=Clover \
  catalog/edges/count=3

finish
