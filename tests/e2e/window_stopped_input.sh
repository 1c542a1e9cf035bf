#!/usr/bin/env bash
# Input given while the program cannot take it (here it is stopped, as a busy machine or a slow
# disk holds it back) acts in the order it was given once the program goes on: a click on New
# record, "Zed" typed, a click on Save and one more letter, all while the program is stopped,
# store "Zed"; the letter typed after the Save is in the form, not in that save.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=110  # the test's timeout is 150 s

# program_process: the process of the current window's program: the one started, or the first
# below it whose name is the program's (wine names the process after the executable).
program_process() {
  local pid="$APP_PID" depth
  for ((depth = 0; depth < 4; depth++)); do
    case "$(cat "/proc/$pid/comm" 2>/dev/null)" in
      oreb-vet*) echo "$pid"; return 0 ;;
    esac
    pid="$(cat "/proc/$pid/task/$pid/children" 2>/dev/null | awk '{ print $1 }')"
    [ -n "$pid" ] || break
  done
  return 1
}

start_seeded_window "$data"
select_row "Mochi selected" 0
park_pointer

if ! pid="$(program_process)"; then
  fail "no process named oreb-vet below $APP_PID"
  finish
fi
kill -STOP "$pid"
STOPPED_PID=$pid
trap 'kill -CONT "$STOPPED_PID" 2>/dev/null; cleanup_work' EXIT
click_unraised new
xdotool type --delay 40 "Zed"
click_unraised save
xdotool type --delay 40 "Q"
park_pointer
save_shot "input given to the stopped program"
expect_eq "nothing saved while stopped" "$(store_sequence "$store")" 5
kill -CONT "$pid"

wait_for_sequence "$store" 6 30
assert_store "the name typed before the Save" animal-6:name=Zed animal-3:name=Mochi catalog/records/count=6
expect_pixels "the saved record selected" row3 "$PRIMARY"
save_shot "Zed saved, Q typed after the save in the form"
click_place save wait_for_sequence "$store" 7 30  # again: the letter typed after the first Save
assert_store "the letter typed after the Save" animal-6:name=ZedQ catalog/records/count=6

end_windows_with_escape
finish
