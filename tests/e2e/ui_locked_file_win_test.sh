#!/usr/bin/env bash
# A product file held open by another process: the update fails at it. The link box shows
# "确定" alone; after the click every file holds its old content again, the download cache is
# gone, exactly one usage report reaches the (loopback) endpoint and the updater ends. A ".bak"
# and a ".tmp" file beside product files that the updater did not make are left as they were.
#
# The installation's lock file held open by another program: the updater waits the minute an
# earlier updater gets to end, then says so in a box (it never ends silently) and touches
# nothing: no window, no file moved, the cache kept, no report.
#
#   ui_locked_file_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: held-file held-lock
source "$2/tests/e2e/e2e_lib.sh"

held_file() {
  e2e_install locked 4
  e2e_put_product
  e2e_put_foreign

  # Another program (not the installation's product, so nobody closes it) holds data/f3.txt.
  e2e_hold "$e2e_app/data/f3.txt" || e2e_finish

  e2e_report_server || e2e_finish
  e2e_run_updater "http_proxy=http://127.0.0.1:$e2e_port" || e2e_finish
  if e2e_box 60; then
    e2e_shot box-link-one-button
    e2e_check "the failure box shows one button ($e2e_box_shows)" [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_ok" ]
    e2e_check "no report before the click" [ -z "$(ls "$e2e_records")" ]
    e2e_answer_box only
    e2e_rolled_back
    e2e_check "a .bak and a .tmp the updater did not make are left as they were" e2e_foreign_intact
    e2e_check "it went to the report path" grep -q 'POST http://.*/log/info/uploadLog.go?type=2 HTTP/1.1' "$e2e_records/001.head"
  else
    e2e_fail "no failure box"
  fi
}

# --- the installation's lock held by another program -----------------------------------------
held_lock() {
  e2e_report_server || e2e_finish
  e2e_install lock-held 4
  : >"$e2e_app/zrUpdater.lock"
  e2e_hold "$e2e_app/zrUpdater.lock" || e2e_finish
  e2e_start_updater "http_proxy=http://127.0.0.1:$e2e_port"
  if e2e_box $((120 * ${ZR_UI_PATIENCE:-1})); then
    e2e_shot box-installation-busy
    e2e_check "lock held: the box shows one button ($e2e_box_shows)" [ "$e2e_box_shows" = "messagebox.xml: btn_ok" ]
    e2e_check "lock held: the updater waits for the answer" e2e_updater_runs
    e2e_check "lock held: no updater window came up" \
      zr_no_window '^Zoria投屏助手更新程序$'
    e2e_answer_box only
    e2e_check "lock held: the updater ends" e2e_updater_ends 60
  else
    e2e_fail "lock held: no box (the updater $(e2e_updater_runs && echo still runs || echo ended))"
  fi
  e2e_check "lock held: every file is old" e2e_files_are old
  e2e_check "lock held: nothing is left" e2e_no_leftovers
  e2e_check "lock held: the cache is kept" [ -f "$e2e_app/cache/update/data/f1.txt" ]
  e2e_check "lock held: no report" [ -z "$(ls "$e2e_records")" ]
}

e2e_part held-file && held_file
e2e_part held-lock && held_lock
e2e_finish
