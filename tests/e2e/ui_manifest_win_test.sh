#!/usr/bin/env bash
# An unusable manifest in the real window: the link box with "重试" and "确定" ("btn_no" left
# of "btn_ok"). With the manifest repaired on disk, "重试" runs the update to its end; in a
# second run "确定" ends the updater with no file touched, and so does Alt+F4 in a third. An
# updater whose skin package is damaged shows the error box "Skin" instead of its window and
# ends with exit code 1, no file touched.
#
#   ui_manifest_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: retry give-up skin
source "$2/tests/e2e/e2e_lib.sh"

# --- repaired, then "重试" -------------------------------------------------------------------
retried() {
  e2e_install retry 3
  e2e_put_product
  cp "$e2e_manifest" "$e2e_work/good.xml"
  printf '<config><version>3.2.0</version><file>' >"$e2e_manifest"  # not well-formed
  e2e_run_updater || e2e_finish
  if e2e_box 60; then
    e2e_shot box-link-two-buttons
    e2e_check "the link box shows two buttons, the second left of the first ($e2e_box_shows)" \
      [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_no btn_ok" ]
    e2e_check "no file is touched while the box is open" e2e_files_are old
    cp "$e2e_work/good.xml" "$e2e_manifest"
    e2e_answer_box first
    e2e_completed
  else
    e2e_fail "no box for the unusable manifest"
  fi
  zr_wineserver -k >/dev/null 2>&1  # the started product
}

# --- "确定": the updater ends ---------------------------------------------------------------
given_up() {
  e2e_install give-up 2
  printf 'not a manifest' >"$e2e_manifest"
  e2e_run_updater || e2e_finish
  if e2e_box 60; then
    e2e_check "the box has a second button ($e2e_box_shows)" [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_no btn_ok" ]
    e2e_answer_box second
    e2e_check "the second button ends the updater" e2e_updater_ends 60
    e2e_check "no file is touched" e2e_files_are old
    e2e_check "the staged files stay" [ -f "$e2e_app/cache/update/data/f2.txt" ]
  else
    e2e_fail "no box for the unusable manifest"
  fi

  # Alt+F4: closed without a button, answered as the close button, the updater ends.
  e2e_install closed 2
  printf 'not a manifest' >"$e2e_manifest"
  e2e_run_updater || e2e_finish
  if e2e_box 60; then
    # The keys go to the box with the focus and the pointer on it; keys the X server delivered
    # while Wine was still mapping the box were lost once on a loaded machine: a box still open
    # ten seconds later gets them once more.
    for press in 1 2; do
      read -r x y width _ <<<"$(e2e_geometry "$e2e_box_id")"
      xdotool mousemove $((x + width / 2)) $((y + 8))
      xdotool windowfocus --sync "$e2e_box_id" 2>/dev/null
      xdotool key alt+F4
      e2e_poll 10 grep -q ' box closed' "$(e2e_record)" && break
      [ $press = 2 ] || echo "the box is still open ten seconds after Alt+F4: once more" >&2
    done
    e2e_check "a box closed by Alt+F4 ends the updater" e2e_updater_ends 60
    e2e_check "the record says it closed without a button" grep -q ' box closed without a button' "$(e2e_record)"
    e2e_check "no file is touched" e2e_files_are old
  else
    e2e_fail "no box for the unusable manifest"
  fi
}

# --- a damaged skin package ------------------------------------------------------------------
damaged_skin() {
  e2e_install no-skin 2
  # The package loses its main document: the name, stored as is in the zip's headers (the
  # code holds it in UTF-16), is changed wherever it stands.
  python3 - "$e2e_app/zrUpdater.exe" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
assert b'wnd_main.xml' in data
open(sys.argv[1], 'wb').write(data.replace(b'wnd_main.xml', b'wnd_gone.xml'))
EOF
  e2e_start_updater
  if skin_box=$(zr_wait_window Skin 120); then
    e2e_check "no main window is built" zr_no_window '^Zoria投屏助手更新程序$'
    xdotool windowfocus --sync "$skin_box" 2>/dev/null
    xdotool key Return
    e2e_updater_ends 60
    e2e_check "once the box is answered the updater ends with exit code 1" [ "$ZR_EXIT_CODE" = 1 ]
    e2e_check "no file is touched" e2e_files_are old
    e2e_check "the record says why" grep -q "the window could not be built" "$e2e_app/zrUpdater.log"
  else
    e2e_fail "no box titled Skin"
  fi
}

e2e_part retry && retried
e2e_part give-up && given_up
e2e_part skin && damaged_skin
e2e_finish
