#!/usr/bin/env bash
# Input as quick as a touchpad tap or a fast typist: clicks whose press and release come together
# (no hold), and text with BackSpace a few milliseconds apart, checked on screen and in the
# stored record. Long texts stay inside their boxes.
. "$(dirname "$0")/lib.sh"
require_display

data="$WORK/data"
store="$data/store.corvane"
start_window "$data"
wait_for_sequence "$store" 5 60
park_pointer
expect_pixels "first frame" 985 690 $BACKGROUND 150 $TAB_Y $PRIMARY 320 $TAB_Y $BUTTON

# tap <x> <y>: press and release at once, as one xdotool command.
tap() {
  require_running
  xdotool mousemove --window "$WIN" "$1" "$2" click 1
}

# --- Taps on the tabs, each one seen ---------------------------------------------------------
for round in 1 2 3 4; do
  tap 250 186
  expect_pixels "tap $round on Customers" 320 $TAB_Y $PRIMARY_HOVERED 150 $TAB_Y $BUTTON
  tap 100 186
  expect_pixels "tap $round on Animals" 150 $TAB_Y $PRIMARY_HOVERED 320 $TAB_Y $BUTTON
done

# --- Taps on a field and on New record move the focus ----------------------------------------
tap 600 370
expect_pixels "tap on the detail field" 900 396 $FOCUS 900 307 $BACKGROUND
tap 630 530
expect_pixels "tap on New record: the name focused" 900 307 $FOCUS 900 396 $BACKGROUND
park_pointer

# --- Text and BackSpace typed a few milliseconds apart --------------------------------------
before="$(snapshot_area $(field_area 0))"
xdotool key --delay 10 a b c BackSpace d
wait_area_change "name typed with 10 ms gaps" "$before" $(field_area 0)
xdotool key Tab
expect_pixels "detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
before="$(snapshot_area $(field_area 1))"
xdotool key --delay 5 shift+d o x BackSpace g
wait_area_change "detail typed with 5 ms gaps" "$before" $(field_area 1)
tap 460 530  # Save
wait_for_sequence "$store" 6 30
assert_store "typed in order" record/animal-6/content=abd animal-6:detail=Dog \
  animal-6:owner=customer-1 catalog/records/count=6
park_pointer
expect_pixels "the saved record selected" 300 ${ROW_Y[3]} $PRIMARY

# --- Long texts stay inside their boxes ------------------------------------------------------
tap 630 530  # New record
park_pointer
wait_area_plain "new record: the name emptied" $(field_area 0)
long="$(printf 'W%.0s' $(seq 1 60))"
type_into $(field_area 0) "$long"
tap 460 530  # Save
wait_for_sequence "$store" 7 30
assert_store "long name stored" record/animal-7/content="$long"
park_pointer
expect_pixels "the long record's row selected" 300 ${ROW_Y[4]} $PRIMARY
import -window root "$WORK/long.png" 2>/dev/null
[ -n "${E2E_SHOT_DIR:-}" ] && mkdir -p "$E2E_SHOT_DIR" && cp "$WORK/long.png" "$E2E_SHOT_DIR/long-texts.png"
# Right of the name field's box (it ends at x 948), and between the list and the form (the row
# ends at x 338, the form starts at 392): nothing but the background.
expect_eq "nothing drawn right of the name field" "$(region_colours "$WORK/long.png" 950 262 48 38)" 1
expect_eq "nothing drawn between the row and the form" "$(region_colours "$WORK/long.png" 340 512 50 44)" 1
# Inside the boxes, the last pixels before their right edges hold only the box's own colour.
expect_eq "the name field's right margin" "$(region_colours "$WORK/long.png" 935 262 10 38)" 1
expect_eq "the row's right margin" "$(region_colours "$WORK/long.png" 324 520 10 30)" 1
finish
