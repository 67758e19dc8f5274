#!/usr/bin/env bash
# The main window under the mouse, while a long update keeps it on its progress page:
# maximise from the system menu and a double click on the background change nothing; a drag
# on the background or on the title text moves the window; a press on a button or in the
# lower-left strip does not; the minimise button minimises (Wine marks the X window iconic,
# as there is no window manager on the display). The update still ends well.
#
# The actions must all happen before the replacement ends; on a machine fast enough to finish
# it first, the run is repeated with three times as many files. What an action did is read from
# where the window stands after a drag that follows it, not after a pause.
#
#   ui_window_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/e2e_lib.sh"

# e2e_drag X Y DX DY: press at X,Y of the main window, move by DX,DY in two steps, release: one
# stream of input that the window takes in order.
e2e_drag() {
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$e2e_main")"
  local x=$((X + $1)) y=$((Y + $2))
  xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x + $3 / 2)) $((y + $4 / 2)) \
    mousemove $((x + $3)) $((y + $4)) mouseup 1
}
iconic() { xprop -id "$e2e_main" WM_HINTS 2>/dev/null | grep -q 'Iconic'; }

# at X Y: the main window stands at X,Y with its size.
at() { [ "$(e2e_geometry "$e2e_main")" = "$1 $2 580 400" ]; }

# moves_to DX DY: the window, dragged on its background, comes to where it stood plus DX,DY
# (within a minute); false, with the window where it is, otherwise. $wx $wy: where it stands.
# Each action that must change nothing is followed by such a drag: once the window has moved,
# it has taken the action's input before, so its position tells what the action did.
moves_to() {
  e2e_drag 420 230 "$1" "$2"
  if e2e_poll 60 at $((wx + $1)) $((wy + $2)); then
    wx=$((wx + $1)) wy=$((wy + $2))
    return 0
  fi
  read -r wx wy _ _ <<<"$(e2e_geometry "$e2e_main")"
  return 1
}

# attempt COUNT: the actions on an update of COUNT files; their outcomes in the variables
# below. False when the replacement was over before the last action.
attempt() {
  e2e_install "moves-$1" "$1"
  e2e_put_product
  e2e_run_updater || e2e_finish
  start=$(e2e_geometry "$e2e_main")
  read -r wx wy _ _ <<<"$start"

  xdotool windowfocus --sync "$e2e_main" 2>/dev/null
  xdotool key alt+space key x
  moves_to 10 10 && after_maximise=1 || after_maximise=0

  # A double click on the background (a third press away from it, so that the drag after it
  # starts no click of its own).
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$e2e_main")"
  xdotool mousemove $((X + 300)) $((Y + 200)) click --repeat 2 --delay 80 1
  moves_to 10 10 && after_double_click=1 || after_double_click=0

  local x1=$wx y1=$wy
  e2e_drag 300 200 60 40
  e2e_poll 60 at $((x1 + 60)) $((y1 + 40)) && after_background_drag=1 || after_background_drag=0
  read -r wx wy _ _ <<<"$(e2e_geometry "$e2e_main")"
  x1=$wx y1=$wy
  e2e_drag $(e2e_control_centre wnd_main.xml lab_captionTitle) -30 -20
  e2e_poll 60 at $((x1 - 30)) $((y1 - 20)) && after_title_drag=1 || after_title_drag=0
  read -r wx wy _ _ <<<"$(e2e_geometry "$e2e_main")"
  e2e_drag $(e2e_control_centre wnd_main.xml closebtn) -80 60
  moves_to 10 10 && after_button_press=1 || after_button_press=0
  e2e_updater_runs && runs_after_button=1 || runs_after_button=0
  e2e_drag 10 390 60 -60
  moves_to 10 10 && after_strip_press=1 || after_strip_press=0

  iconic && iconic_before=1 || iconic_before=0
  zr_click_control "$e2e_main" wnd_main.xml minbtn
  e2e_poll 60 iconic && iconic_after=1 || iconic_after=0
  e2e_updater_runs && runs_after_minimise=1 || runs_after_minimise=0

  done_by_then=$(e2e_count_new)
  [ "$done_by_then" -lt "$1" ]
}

count=2000
until attempt "$count"; do
  echo "the replacement of $count files was over too soon; again with more"
  e2e_updater_ends 300
  [ "$count" -lt 27000 ] || break
  count=$((count * 3))
done

e2e_check "the window measures 580 x 400" [ "${start#* * }" = "580 400" ]
e2e_check "maximise from the system menu changes nothing" [ "$after_maximise" = 1 ]
e2e_check "a double click on the background changes nothing" [ "$after_double_click" = 1 ]
e2e_check "a drag on the background moves the window" [ "$after_background_drag" = 1 ]
e2e_check "a drag on the title text moves it too" [ "$after_title_drag" = 1 ]
e2e_check "a press on the close button does not move the window" [ "$after_button_press" = 1 ]
e2e_check "nor does releasing it elsewhere close the window" [ "$runs_after_button" = 1 ]
e2e_check "a press in the lower-left strip does not move the window" [ "$after_strip_press" = 1 ]
e2e_check "the window was not minimised before" [ "$iconic_before" = 0 ]
e2e_check "the minimise button minimises" [ "$iconic_after" = 1 ]
e2e_check "the updater runs on" [ "$runs_after_minimise" = 1 ]
e2e_check "all this happened during the replacement ($done_by_then of $count done)" [ "$done_by_then" -lt "$count" ]
e2e_check "the updater ends" e2e_updater_ends 300
e2e_check "every file is new" e2e_files_are new
e2e_finish
