#!/usr/bin/env bash
# An installation the updater may not write to: the update fails at the first move and is
# rolled back. The target of the manifest's first entry cannot be renamed by anyone (the Linux
# "immutable" attribute: Wine's rename gets EPERM and the updater's MoveFileExW fails with
# "access denied", as for a user without write rights to the installation). The failure box
# shows "确定" alone; after the click every file is as it was, nothing is left behind, the
# download cache is gone, one usage report reaches the (loopback) endpoint and the updater ends.
#
# The machine's user is root, whom plain permissions do not stop, hence the attribute. It is
# taken off again however the test ends; a run killed outright leaves the file's path in
# $build/no-rights.immutable, and the next run frees it first.
#
#   ui_no_rights_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

leftover="$ui_build/no-rights.immutable"
if [ -s "$leftover" ]; then
  chattr -i "$(cat "$leftover")" 2>/dev/null
  rm -f "$leftover"
fi

ui_install no-rights 4
guarded="$ui_app/data/f1.txt"
trap 'chattr -i "$guarded" 2>/dev/null; rm -f "$leftover"; ui_cleanup' EXIT
trap 'exit 1' INT TERM HUP
printf '%s\n' "$guarded" >"$leftover"
if ! chattr +i "$guarded" 2>/dev/null; then
  echo "SKIP: cannot make $guarded immutable here (file system or capability)"
  exit 77
fi
ui_check "the guarded file cannot be renamed, even by root" \
  bash -c '! mv "$1" "$1.bak" 2>/dev/null' _ "$guarded"

ui_report_server || ui_finish
ui_run_updater "http_proxy=http://127.0.0.1:$ui_port" || ui_finish
if ui_box 40; then
  ui_shot box-no-rights
  ui_check "the failure box shows one button" [ "$ui_box_buttons" = "326 0" ]
  zr_answer_box MessageBox only
  ui_rolled_back
else
  ui_fail "no failure box"
fi
ui_finish
