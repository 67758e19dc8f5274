#!/usr/bin/env bash
# The product is running: after its five seconds the question box ("更新" left, "取消" right,
# close button disabled, Escape and Enter doing nothing, the main window disabled behind
# it). "更新" ends the product and the update proceeds; in a second run "取消" ends the updater
# at once, with the product still running and no file touched.
#
#   ui_product_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: update cancel
source "$2/tests/e2e/e2e_lib.sh"

# box_moves_to DX DY: the box, dragged by its caption, comes to where it stood plus DX,DY and is
# still shown. What was done to the box before the drag has been taken by then (a window
# takes its input in order): the box still open there tells that it did not close it.
box_moves_to() {
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$e2e_box_id")"
  local x=$((X + 100)) y=$((Y + 10)) want="$((X + $1)) $((Y + $2)) $WIDTH $HEIGHT"
  xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x + $1)) $((y + $2)) mouseup 1
  box_at() { [ "$(e2e_geometry "$e2e_box_id")" = "$want" ]; }
  e2e_poll 60 box_at && e2e_box_shown && [ "$(zr_boxes_open "$(e2e_record)")" = 1 ]
}

# close_disabled: the record says the box found last shows its close button disabled.
close_disabled() { [[ "$zr_box_buttons" == "btn_close disabled, "* ]]; }

# --- "更新" ---------------------------------------------------------------------------------
answered_update() {
  e2e_install close-it 3
  e2e_start_product --quit-on-request || e2e_finish
  e2e_run_updater || e2e_finish
  if e2e_box 60; then
    e2e_shot box-question
    e2e_check "the question box shows two buttons, the first left ($e2e_box_shows)" \
      [ "$e2e_box_shows" = "messagebox.xml: btn_ok btn_no" ]
    e2e_check "its close button is disabled ($zr_box_buttons)" close_disabled
    e2e_check "no file is touched while the box is open" e2e_files_are old
    e2e_check "the product still runs while the box is open" kill -0 "$e2e_product_pid"
    # The close button is disabled: pressing it leaves the box open.
    zr_click "$e2e_box_id" $(zr_box_centre btn_close)
    e2e_check "the disabled close button does nothing" box_moves_to 10 10
    # Neither key closes the box.
    xdotool windowfocus --sync "$e2e_box_id" 2>/dev/null
    xdotool key Escape key Return
    e2e_check "Escape and Enter leave the box open" box_moves_to -10 -10
    # The box belongs to the worker thread; its owner, the main window, is disabled meanwhile. A
    # close that it took would end the window: the completion page below would never come.
    zr_click_control "$e2e_main" wnd_main.xml closebtn
    e2e_check "the main window's close button does nothing while the box is open" e2e_main_shown
    e2e_check "the updater runs on" e2e_updater_runs
    e2e_answer_box first
    e2e_check "the product is ended" zr_wait_exit "$e2e_product_pid" 60
    e2e_completed
  else
    e2e_fail "no question box"
  fi
  zr_wineserver -k >/dev/null 2>&1  # the started product
}

# --- "取消" ---------------------------------------------------------------------------------
answered_cancel() {
  e2e_install keep-it 3
  e2e_start_product --quit-on-request || e2e_finish
  e2e_run_updater || e2e_finish
  if e2e_box 60; then
    e2e_answer_box second
    e2e_check "the updater ends" e2e_updater_ends 60
    e2e_check "the record says the user keeps the product" grep -q ' the user keeps the product running' "$(e2e_record)"
    e2e_check "the product still runs" kill -0 "$e2e_product_pid"
    e2e_check "no file is touched" e2e_files_are old
    e2e_check "no backup was made" e2e_no_leftovers
  else
    e2e_fail "no question box"
  fi
}

e2e_part update && answered_update
e2e_part cancel && answered_cancel
e2e_finish
