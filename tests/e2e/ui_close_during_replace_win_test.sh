#!/usr/bin/env bash
# The close button pressed while the updater replaces many product files: the process ends
# only once the replacing stage is over, so that no product file is missing and every one of
# them holds its new content, although the window closes at once.
#
#   ui_close_during_replace_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/e2e_lib.sh"

count=2000
e2e_install many $count
e2e_put_product
e2e_run_updater || e2e_finish

e2e_wait_replacing || { e2e_fail "the replacement did not begin"; e2e_finish; }
# The progress page shows the replacement under way (its bar partly filled) before the click.
shows_progress() {
  e2e_shot main-progress-page
  [ "$(e2e_progress_filled main-progress-page)" -gt 0 ]
}
e2e_check "the progress page shows the replacement" e2e_poll 60 shows_progress
zr_click_control "$e2e_main" wnd_main.xml closebtn
new_at_click=$(e2e_count_new)
e2e_check "the click came in the middle of the replacement ($new_at_click of $count done)" \
  [ "$new_at_click" -lt "$count" ]
# The close request waits behind the status lines already queued, then the window goes
# while the files are still being replaced.
main_gone() { zr_no_window '^Zoria投屏助手更新程序$'; }
e2e_poll 60 main_gone && closed=1 || closed=0
new_at_close=$(e2e_count_new)
e2e_check "the window closes ($new_at_close of $count done by then)" [ "$closed" = 1 ]
e2e_check "the replacement was still running when it closed" [ "$new_at_close" -lt "$count" ]
e2e_check "the updater ends" e2e_updater_ends 300
e2e_check "no product file is missing and every one is new" e2e_files_are new
e2e_check "every staged file was moved in" [ -z "$(find "$e2e_app/cache/update/data" -type f | head -n 1)" ]
e2e_check "the product is not started" [ "$(e2e_product_processes)" = 0 ]
e2e_finish
