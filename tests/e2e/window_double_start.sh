#!/usr/bin/env bash
# The program started twice on one data directory, both windows open, as a user does by mistake.
# Window A saves a new customer; window B, which read the store before that save, reads it again
# when it gets the keyboard focus: it lists A's customer, and its own new customer is saved next to
# it. At the end the store holds both customers, once each, and the five seeded records: the save A
# reported done was not lost to B's.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=300  # the test's timeout is 360 s

NAME_A="Ada Quint"
NAME_B="Birger Holm"

# --- Two windows on one directory --------------------------------------------------------------
# A seeds the demo records; B opens over A, on the seeded store, and is moved right and down.
start_window_pair "$data"
# Both windows on the screen: B's tabs at B's new place, A's tabs at A's place, left of B.
park_pointer
expect_pixels "B at its new place" animals $PRIMARY customers $BUTTON background $BACKGROUND
use_window 1
expect_pixels "A left of B" animals $PRIMARY customers $BUTTON header $BACKGROUND

# new_customer <window> <what> <name> <sequence> <rows>: in the window, raised, the Customers tab
# is chosen and shows <rows> customers (the row after them empty), New record is clicked, and the
# name typed and saved; returns when the store has the sequence.
new_customer() {
  local rows="$5"
  use_window "$1"
  raise_window
  park_pointer
  expect_pixels "$2: raised, animals as it opened, its Save button on top" animals $PRIMARY save $PRIMARY \
    background $BACKGROUND
  click_place customers expect_pixels "$2: customers tab hovered" customers $PRIMARY_HOVERED animals $BUTTON
  park_pointer
  expect_pixels "$2: $rows customers listed" customers $PRIMARY "row$((rows - 1))" $BUTTON "row$rows" $BACKGROUND
  click_place new expect_focus "$2: new record, the name focused" name
  wait_area_plain "$2: name field empty" name
  type_into name "$3"
  click_place save wait_for_sequence "$store" "$4" 30
}

# --- A: a new customer -------------------------------------------------------------------------
new_customer 1 A "$NAME_A" 6 2
assert_store "A's customer saved" \
  record/customer-6/kind=customer record/customer-6/content="$NAME_A" record/customer-6/lifecycle=canonical \
  catalog/records/count=6
park_pointer
expect_pixels "A: three customers, the new one selected" row1 $BUTTON row2 $PRIMARY row3 $BACKGROUND

# --- B: gets the focus, reads A's save, and saves its own customer ----------------------------
# B read the store before A saved; with the keyboard focus it reads it again and lists A's
# customer as a third row.
new_customer 2 B "$NAME_B" 7 3
assert_store "B's customer saved next to A's" \
  record/customer-7/content="$NAME_B" record/customer-6/content="$NAME_A" catalog/records/count=7
park_pointer
expect_pixels "B: four customers, its own selected" row2 $BUTTON row3 $PRIMARY row4 $BACKGROUND

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
  expect_stored_once "$dump" "$name"
done
expect_store_files "at the end" "$data"
assert_store "seeded records" \
  record/customer-1/content="Marta Quillfeather" record/customer-2/content="Tobias Wrenhollow" \
  record/animal-3/content=Mochi record/animal-4/content=Juniper record/animal-5/content=Clover \
  catalog/edges/count=3

finish
