#!/usr/bin/env bash
# The product is running: after its five seconds the question box ("更新" left, "取消" right,
# close button disabled, Escape and Enter doing nothing, the main window disabled behind
# it). "更新" ends the product and the update proceeds; in a second run "取消" ends the updater
# at once, with the product still running and no file touched.
#
#   ui_product_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

# --- "更新" ---------------------------------------------------------------------------------
ui_install close-it 3
ui_start_product --quit-on-request || ui_finish
ui_run_updater || ui_finish
if ui_box 40; then
  ui_shot box-question
  ui_check "the question box shows two buttons, the first left" [ "$ui_box_buttons" = "248 326" ]
  ui_check "no file is touched while the box is open" ui_files_are old
  ui_check "the product still runs while the box is open" kill -0 "$ui_product_pid"
  # The close button is disabled: pressing it leaves the box open.
  zr_click "$ui_box_id" 350 30
  sleep 0.5
  ui_check "the disabled close button does nothing" eval "zr_wait_window MessageBox 1 >/dev/null"
  # Neither key closes the box.
  xdotool windowfocus "$ui_box_id" 2>/dev/null
  xdotool key Escape; sleep 0.3; xdotool key Return; sleep 0.7
  ui_check "Escape and Enter leave the box open" eval "zr_wait_window MessageBox 1 >/dev/null"
  # The box belongs to the worker thread; its owner, the main window, is disabled meanwhile.
  zr_click "$ui_main" 554 26
  sleep 1
  ui_check "the main window's close button does nothing while the box is open" ui_updater_runs
  zr_answer_box MessageBox first
  ui_check "the product is ended" zr_wait_exit "$ui_product_pid" 20
  ui_check "the update proceeds to the completion page" ui_wait_completion_page 30
  ui_check "the updater ends" ui_updater_ends 20
  ui_check "every file is new" ui_files_are new
else
  ui_fail "no question box"
fi
zr_wineserver -k >/dev/null 2>&1  # the started product

# --- "取消" ---------------------------------------------------------------------------------
ui_install keep-it 3
ui_start_product --quit-on-request || ui_finish
ui_run_updater || ui_finish
if ui_box 40; then
  zr_answer_box MessageBox second
  ui_check "the updater ends at once" ui_updater_ends 5
  ui_check "the product still runs" kill -0 "$ui_product_pid"
  ui_check "no file is touched" ui_files_are old
  ui_check "no backup was made" ui_no_leftovers
else
  ui_fail "no question box"
fi
ui_finish
