#!/usr/bin/env bash
# A successful update in the real window: the progress page, then the completion page with
# "确定"; the product is started about three seconds later and the updater ends. A second run
# presses "确定" at once: the product starts exactly once, the timer does not start it again.
#
#   ui_success_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

# --- nobody presses anything: the timer starts the product ---------------------------------
ui_install timer 3
ui_put_product
ui_run_updater || ui_finish
if ui_wait_completion_page 30; then
  seen=$SECONDS
  ui_pass "the completion page appears"
  ui_shot main-completion-page
  ui_check "the product is not started at once" [ "$(ui_product_windows)" = 0 ]
  ui_check "the updater still runs on the completion page" ui_updater_runs
  end=$((SECONDS + 20))
  while [ "$(ui_product_windows)" = 0 ] && [ $SECONDS -lt $end ]; do sleep 0.1; done
  waited=$((SECONDS - seen))
  ui_check "the timer starts the product (after ${waited}s)" [ "$(ui_product_windows)" = 1 ]
  ui_check "not before two seconds" [ "$waited" -ge 2 ]
  ui_check "the updater ends" ui_updater_ends 15
else
  ui_fail "no completion page"
fi
ui_check "every file is new" ui_files_are new
ui_check "no backup is left" ui_no_leftovers
ui_check "the staged files are gone" [ ! -e "$ui_app/cache/update/data/f1.txt" ]
zr_wineserver -k >/dev/null 2>&1  # the started product

# --- "确定" pressed at once: started once ----------------------------------------------------
ui_install button 3
ui_put_product
ui_run_updater || ui_finish
if ui_wait_completion_page 30; then
  zr_click "$ui_main" 290 345
  ui_check "the updater ends after the click" ui_updater_ends 15
  sleep 5  # longer than the completion timer
  ui_check "the product was started exactly once" [ "$(ui_product_windows)" = 1 ]
else
  ui_fail "no completion page"
fi
ui_check "every file is new" ui_files_are new

# --- the close button on the completion page: no product -----------------------------------
zr_wineserver -k >/dev/null 2>&1
ui_install closed 2
ui_put_product
ui_run_updater || ui_finish
if ui_wait_completion_page 30; then
  zr_click "$ui_main" 554 26
  ui_check "the close button ends the updater" ui_updater_ends 15
  sleep 4
  ui_check "the product is not started" [ "$(ui_product_windows)" = 0 ]
else
  ui_fail "no completion page"
fi
ui_finish
