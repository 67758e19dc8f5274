#!/usr/bin/env bash
# A product file held open by another process: the update fails at it. The link box shows
# "确定" alone; after the click every file holds its old content again, the download cache is
# gone, exactly one usage report reaches the (loopback) endpoint and the updater ends. A ".bak"
# and a ".tmp" file beside product files that the updater did not make are left as they were.
#
#   ui_locked_file_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/e2e_lib.sh"

e2e_install locked 4
e2e_put_product
e2e_put_foreign

# Another program (not the installation's product, so nobody closes it) holds data/f3.txt.
e2e_hold "$e2e_app/data/f3.txt" || e2e_finish

e2e_report_server || e2e_finish
e2e_run_updater "http_proxy=http://127.0.0.1:$e2e_port" || e2e_finish
if e2e_box 40; then
  e2e_shot box-link-one-button
  e2e_check "the failure box shows one button" [ "$e2e_box_buttons" = "326 0" ]
  e2e_check "no report before the click" [ -z "$(ls "$e2e_records")" ]
  zr_answer_box MessageBox only
  e2e_rolled_back
  e2e_check "a .bak and a .tmp the updater did not make are left as they were" e2e_foreign_intact
  e2e_check "it went to the report path" grep -q 'POST http://.*/log/info/uploadLog.go?type=2 HTTP/1.1' "$e2e_records/001.head"
else
  e2e_fail "no failure box"
fi
e2e_finish
