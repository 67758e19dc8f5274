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
mkdir -p "$ui_work/locker"
cp "$ui_stand_in" "$ui_work/locker/zrCastrix.exe"
zr_wine "$ui_work/locker/zrCastrix.exe" --no-window --hold "$(zr_winpath "$ui_app/data/f3.txt")" \
  --ready "$(zr_winpath "$ui_work/locker/ready")" --lifetime 240000 >/dev/null 2>&1 &
ui_pids+=("$!")
for _ in $(seq 300); do [ -s "$ui_work/locker/ready" ] && break; sleep 0.1; done
[ -s "$ui_work/locker/ready" ] || { ui_fail "the locker did not start"; ui_finish; }

# The report endpoint: every request is recorded in records/.
records="$ui_work/records"
mkdir -p "$records"
zr_wine "$ui_server" "$(zr_winpath "$records")" "$(zr_winpath "$ui_work/port")" 200 300 >/dev/null 2>&1 &
ui_pids+=("$!")
for _ in $(seq 300); do [ -s "$ui_work/port" ] && break; sleep 0.1; done
[ -s "$ui_work/port" ] || { ui_fail "the report server did not start"; ui_finish; }
port=$(cat "$ui_work/port")

ui_run_updater "http_proxy=http://127.0.0.1:$port" || ui_finish
if ui_box 40; then
  ui_shot box-link-one-button
  ui_check "the failure box shows one button" [ "$ui_box_buttons" = "326 0" ]
  ui_check "no report before the click" [ -z "$(ls "$records")" ]
  zr_answer_box MessageBox only
  ui_check "the updater ends" ui_updater_ends 60
  ui_check "every file holds its old content" ui_files_are old
  ui_check "no backup or parked file is left" ui_no_leftovers
  ui_check "the cache directory is gone" [ ! -e "$ui_app/cache/update" ]
  heads=$(ls "$records"/*.head 2>/dev/null | wc -l)
  ui_check "exactly one report arrived ($heads)" [ "$heads" = 1 ]
  ui_check "it went to the report path" grep -q 'POST http://.*/log/info/uploadLog.go?type=2 HTTP/1.1' "$records/001.head"
else
  ui_fail "no failure box"
fi
ui_finish
