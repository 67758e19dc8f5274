#!/usr/bin/env bash
# An unusable manifest in the real window: the link box with "重试" and "确定" ("btn_no" left
# of "btn_ok"). With the manifest repaired on disk, "重试" runs the update to its end; in a
# second run "确定" ends the updater with no file touched, and so does Alt+F4 in a third.
#
#   ui_manifest_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

# --- repaired, then "重试" -------------------------------------------------------------------
ui_install retry 3
ui_put_product
cp "$ui_manifest" "$ui_work/good.xml"
printf '<config><version>3.2.0</version><file>' >"$ui_manifest"  # not well-formed
ui_run_updater || ui_finish
if ui_box 30; then
  ui_shot box-link-two-buttons
  ui_check "the link box shows two buttons, the second left of the first" \
    [ "$ui_box_buttons" = "326 248" ]
  ui_check "no file is touched while the box is open" ui_files_are old
  cp "$ui_work/good.xml" "$ui_manifest"
  read -r ok_x _ <<<"$ui_box_buttons"
  zr_click "$ui_box_id" "$ok_x" 133
  ui_check "the update proceeds to the completion page" ui_wait_completion_page 30
  ui_check "the updater ends" ui_updater_ends 20
  ui_check "every file is new" ui_files_are new
else
  ui_fail "no box for the unusable manifest"
fi
zr_wineserver -k >/dev/null 2>&1  # the started product

# --- "确定": the updater ends ---------------------------------------------------------------
ui_install give-up 2
printf 'not a manifest' >"$ui_manifest"
ui_run_updater || ui_finish
if ui_box 30; then
  read -r _ no_x <<<"$ui_box_buttons"
  ui_check "the box has a second button" [ "$no_x" != 0 ]
  zr_click "$ui_box_id" "$no_x" 133
  ui_check "the second button ends the updater" ui_updater_ends 15
  ui_check "no file is touched" ui_files_are old
  ui_check "the staged files stay" [ -f "$ui_app/cache/update/data/f2.txt" ]
else
  ui_fail "no box for the unusable manifest"
fi

# --- Alt+F4: closed without a button, answered as the close button, the updater ends -------
ui_install closed 2
printf 'not a manifest' >"$ui_manifest"
ui_run_updater || ui_finish
if ui_box 30; then
  xdotool windowfocus "$ui_box_id" 2>/dev/null; sleep 0.3
  xdotool key alt+F4
  ui_check "a box closed by Alt+F4 ends the updater" ui_updater_ends 15
  ui_check "no file is touched" ui_files_are old
else
  ui_fail "no box for the unusable manifest"
fi
ui_finish
