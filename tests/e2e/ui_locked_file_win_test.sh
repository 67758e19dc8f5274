#!/usr/bin/env bash
# A product file held open by another process: the update fails at it. The link box shows
# "确定" alone; after the click every file holds its old content again, the download cache is
# gone, exactly one usage report reaches the (loopback) endpoint and the updater ends.
#
#   ui_locked_file_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

ui_install locked 4
ui_put_product

# Another program (not the installation's product, so nobody closes it) holds data/f3.txt.
ui_hold "$ui_app/data/f3.txt" || ui_finish

ui_report_server || ui_finish
ui_run_updater "http_proxy=http://127.0.0.1:$ui_port" || ui_finish
if ui_box 40; then
  ui_shot box-link-one-button
  ui_check "the failure box shows one button" [ "$ui_box_buttons" = "326 0" ]
  ui_check "no report before the click" [ -z "$(ls "$ui_records")" ]
  zr_answer_box MessageBox only
  ui_rolled_back
  ui_check "it went to the report path" grep -q 'POST http://.*/log/info/uploadLog.go?type=2 HTTP/1.1' "$ui_records/001.head"
else
  ui_fail "no failure box"
fi
ui_finish
