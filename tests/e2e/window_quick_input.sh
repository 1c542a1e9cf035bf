#!/usr/bin/env bash
# Input as quick as a touchpad tap or a fast typist: clicks whose press and release come together
# (no hold), and text with BackSpace a few milliseconds apart, checked on screen and in the
# stored record. Long texts stay inside their boxes.
. "$(dirname "$0")/lib.sh"
require_display

start_seeded_window "$data"

# tap <place>: press and release at once, as one xdotool command.
tap() {
  require_running
  read_place "$1"
  xdotool mousemove --window "$WIN" "$PLACE_X" "$PLACE_Y" click 1
}

# --- Taps on the tabs, each one seen ---------------------------------------------------------
for round in 1 2 3 4; do
  tap customers
  expect_pixels "tap $round on Customers" customers $PRIMARY_HOVERED animals $BUTTON
  tap animals
  expect_pixels "tap $round on Animals" animals $PRIMARY_HOVERED customers $BUTTON
done

# --- Taps on a field and on New record move the focus ----------------------------------------
tap detail
expect_focus "tap on the detail field" detail
tap new
expect_focus "tap on New record: the name focused" name
park_pointer

# --- Text and BackSpace typed a few milliseconds apart --------------------------------------
before="$(snapshot_area name)"
xdotool key --delay 10 a b c BackSpace d
wait_area_change "name typed with 10 ms gaps" "$before" name
xdotool key Tab
expect_focus "detail field focused" detail
before="$(snapshot_area detail)"
xdotool key --delay 5 shift+d o x BackSpace g
wait_area_change "detail typed with 5 ms gaps" "$before" detail
tap save
wait_for_sequence "$store" 6 30
assert_store "typed in order" record/animal-6/content=abd animal-6:detail=Dog animal-6:owner=customer-1 \
  catalog/records/count=6
park_pointer
expect_pixels "the saved record selected" row3 $PRIMARY

# --- Long texts stay inside their boxes ------------------------------------------------------
tap new
park_pointer
wait_area_plain "new record: the name emptied" name
long="$(printf 'W%.0s' $(seq 1 60))"
type_into name "$long"
tap save
wait_for_sequence "$store" 7 30
assert_store "long name stored" record/animal-7/content="$long"
park_pointer
expect_pixels "the long record's row selected" row4 $PRIMARY
import -window root "$WORK/long.png" 2>/dev/null
[ -n "${E2E_SHOT_DIR:-}" ] && mkdir -p "$E2E_SHOT_DIR" && cp "$WORK/long.png" "$E2E_SHOT_DIR/long-texts.png"

# colours_in <what> <x> <y> <w> <h>: expects one colour only in the client rectangle of the
# screenshot.
colours_in() {
  expect_eq "$1" "$(region_colours "$WORK/long.png" "${@:2}")" 1
}
# Right of the name field's box, and between the list's row and the form's left edge (the name
# field's): nothing but the background.
read_place name
name_box=("${PLACE[@]}") name_area=("${PLACE_AREA[@]}")
read_place row4
row_box=("${PLACE[@]}") row_area=("${PLACE_AREA[@]}")
name_right=$((name_box[0] + name_box[2])) row_right=$((row_box[0] + row_box[2]))
colours_in "nothing drawn right of the name field" \
  $((name_right + 2)) "${name_area[1]}" $((${WIN_SIZE%x*} - 2 - name_right - 2)) "${name_area[3]}"
colours_in "nothing drawn between the row and the form" \
  $((row_right + 2)) "${row_box[1]}" $((name_box[0] - 2 - row_right - 2)) "${row_box[3]}"
# Inside the boxes, the 10 columns that end 4 pixels before their right edges hold only the box's
# own colour.
colours_in "the name field's right margin" $((name_right - 14)) "${name_area[1]}" 10 "${name_area[3]}"
colours_in "the row's right margin" $((row_right - 14)) "${row_area[1]}" 10 "${row_area[3]}"
finish
