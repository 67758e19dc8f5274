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
source "$2/tests/e2e/e2e_lib.sh"

leftover="$e2e_build/no-rights.immutable"
if [ -s "$leftover" ]; then
  chattr -i "$(cat "$leftover")" 2>/dev/null
  rm -f "$leftover"
fi

e2e_install no-rights 4
guarded="$e2e_app/data/f1.txt"
trap 'chattr -i "$guarded" 2>/dev/null; rm -f "$leftover"; e2e_cleanup' EXIT
trap 'exit 1' INT TERM HUP
printf '%s\n' "$guarded" >"$leftover"
if ! chattr +i "$guarded" 2>/dev/null; then
  echo "SKIP: cannot make $guarded immutable here (file system or capability)"
  exit 77
fi
e2e_check "the guarded file cannot be renamed, even by root" \
  bash -c '! mv "$1" "$1.bak" 2>/dev/null' _ "$guarded"

e2e_report_server || e2e_finish
e2e_run_updater "http_proxy=http://127.0.0.1:$e2e_port" || e2e_finish
if e2e_box 40; then
  e2e_shot box-no-rights
  e2e_check "the failure box shows one button" [ "$e2e_box_buttons" = "326 0" ]
  zr_answer_box MessageBox only
  e2e_rolled_back
else
  e2e_fail "no failure box"
fi
e2e_finish
