#!/usr/bin/env bash
# The product is running: after its five seconds the question box ("更新" left, "取消" right,
# close button disabled, Escape and Enter doing nothing, the main window disabled behind
# it). "更新" ends the product and the update proceeds; in a second run "取消" ends the updater
# at once, with the product still running and no file touched.
#
#   ui_product_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/e2e_lib.sh"

# --- "更新" ---------------------------------------------------------------------------------
e2e_install close-it 3
e2e_start_product --quit-on-request || e2e_finish
e2e_run_updater || e2e_finish
if e2e_box 40; then
  e2e_shot box-question
  e2e_check "the question box shows two buttons, the first left" [ "$e2e_box_buttons" = "248 326" ]
  e2e_check "no file is touched while the box is open" e2e_files_are old
  e2e_check "the product still runs while the box is open" kill -0 "$e2e_product_pid"
  # The close button is disabled: pressing it leaves the box open.
  zr_click "$e2e_box_id" $(e2e_control_centre messagebox.xml btn_close)
  e2e_check "the disabled close button does nothing" e2e_stays 0.5 e2e_box_shown
  # Neither key closes the box.
  xdotool windowfocus "$e2e_box_id" 2>/dev/null
  xdotool key Escape; sleep 0.3; xdotool key Return
  e2e_check "Escape and Enter leave the box open" e2e_stays 0.7 e2e_box_shown
  # The box belongs to the worker thread; its owner, the main window, is disabled meanwhile.
  zr_click "$e2e_main" $(e2e_control_centre wnd_main.xml closebtn)
  e2e_check "the main window's close button does nothing while the box is open" e2e_stays 1 e2e_main_shown
  e2e_check "the updater runs on" e2e_updater_runs
  zr_answer_box MessageBox first
  e2e_check "the product is ended" zr_wait_exit "$e2e_product_pid" 20
  e2e_completed
else
  e2e_fail "no question box"
fi
zr_wineserver -k >/dev/null 2>&1  # the started product

# --- "取消" ---------------------------------------------------------------------------------
e2e_install keep-it 3
e2e_start_product --quit-on-request || e2e_finish
e2e_run_updater || e2e_finish
if e2e_box 40; then
  zr_answer_box MessageBox second
  e2e_check "the updater ends at once" e2e_updater_ends 5
  e2e_check "the product still runs" kill -0 "$e2e_product_pid"
  e2e_check "no file is touched" e2e_files_are old
  e2e_check "no backup was made" e2e_no_leftovers
else
  e2e_fail "no question box"
fi
e2e_finish
