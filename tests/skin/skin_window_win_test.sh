#!/usr/bin/env bash
# The skin engine in real windows under Wine on a private Xvfb (white root, so that the drop
# shadow shows): each shipped document built from the viewer's own "ZIPRES" resource, its
# size, shadow and colours checked on a screenshot (the shadow also after a move); one click gives one "click"
# notification; a disabled button gives none; the close button closes; a missing document
# takes the fatal path (box text, title, error icon, exit code 1). At 150 % (the prefix's
# LogPixels 144) the main document's window has its scaled size, drags by its caption and
# closes by its close button.
#
# Controls are clicked where the engine lays them out (skin_viewer --layout, zr_control_centre).
# What is drawn is waited for, not given a time: a screenshot is taken again until it shows
# what is expected or a limit passes, and a click's notification is known to be the only one
# when a later click's has arrived (the window takes input in order).
# Usage: skin_window_win_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
source "$2/scripts/wine-env.sh"
viewer="$build/tools/skin_viewer/skin_viewer.exe"
[ -x "$viewer" ] || { echo "FAIL: $viewer not built (cmake --build $build --target skin_viewer)"; exit 1; }
zr_updater=$viewer  # the layouts come from the viewer's own package, the one it shows
ZR_SKIN_VIEWER=$viewer

work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

zr_wine_fresh "$build/wineprefixes/$(zr_test_name)" "$build/wineprefix-template"
# A display of our own with a white root window.
fifo="$work/displayfd"; mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -wr -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r number <"$fifo"
export DISPLAY=":$number"
cleanup() {
  zr_wineserver -k >/dev/null 2>&1
  kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# pixel FILE X Y: "R G B" (0..255)
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)]" info:
}
# near FILE X Y R G B [TOL]: the pixel is within TOL (default 6) of the colour on each channel
near() {
  local got tol=${7:-6}; got=$(pixel "$1" "$2" "$3")
  read -r r g b <<<"$got"
  local dr=$((r - $4)) dg=$((g - $5)) db=$((b - $6))
  [ ${dr#-} -le $tol ] && [ ${dg#-} -le $tol ] && [ ${db#-} -le $tol ] && return 0
  echo "  pixel ($2,$3) is $got, expected $4 $5 $6" >&2
  return 1
}
# darker FILE X Y LIMIT: every channel below LIMIT
darker() {
  read -r r g b <<<"$(pixel "$1" "$2" "$3")"
  [ "$r" -lt "$4" ] && [ "$g" -lt "$4" ] && [ "$b" -lt "$4" ] && return 0
  echo "  pixel ($2,$3) is $r $g $b, expected darker than $4" >&2
  return 1
}

# until_drawn SECONDS FILE CHECK...: takes a screenshot into FILE until the function CHECK
# (given FILE and its arguments) passes on it, quietly; after SECONDS the last screenshot is
# checked once more, with what is wrong said, and the result is that check's.
until_drawn() {
  local end=$((SECONDS + $1)) file=$2
  shift 2
  while [ $SECONDS -lt $end ]; do
    import -window root "$file"
    "$1" "$file" "${@:2}" 2>/dev/null && return 0
    sleep 0.2
  done
  "$1" "$file" "${@:2}"
}

# until_true SECONDS COMMAND...: true as soon as COMMAND is, false after SECONDS.
until_true() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# clicks LOG: the click notifications logged so far, on one line.
clicks() { grep '^click' "$1" | tr '\n' ' '; }
# settled LOG LINES: the log's click notifications are LINES (space-separated, in order).
settled() { [ "$(clicks "$1")" = "$2" ]; }

# wait_exit PID SECONDS: waits for a child of this shell; sets $rc to its exit code, or to
# "timeout" (and kills it) when it is still running after SECONDS.
wait_exit() {
  local end=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null && [ "$(ps -o stat= -p "$1" 2>/dev/null | cut -c1)" != Z ]; do
    if [ $SECONDS -ge $end ]; then kill "$1" 2>/dev/null; rc=timeout; return 1; fi
    sleep 0.2
  done
  rc=0; wait "$1" || rc=$?
}

# start DOC LOG [ARGS...]: runs the viewer in the background (pid in $vpid) and waits for
# its first frame; sets X Y W H from the "ready" line.
start() {
  local doc=$1 log=$2; shift 2
  zr_wine "$viewer" --log "$(zr_winpath "$log")" "$@" "$doc" >/dev/null 2>&1 &
  vpid=$!
  if until_true 60 grep -q '^ready ' "$log" 2>/dev/null; then
    read -r _ X Y W H <<<"$(grep '^ready ' "$log" | head -n 1)"
    return 0
  fi
  return 1
}
# stop DOC: closes the viewer's window as a user would (Alt+F4) and waits for the viewer to end.
stop() {
  local id; id=$(xdotool search --name "^skin_viewer $1\$" 2>/dev/null | head -n 1)
  [ -n "$id" ] && xdotool windowfocus --sync "$id" key alt+F4 >/dev/null 2>&1
  wait_exit "$vpid" 30
}
# open_viewer CASE DOC [ARGS...]: start DOC for the case CASE, its log in $log and its window in
# $id; false, the failure counted and the viewer stopped, when no frame comes.
open_viewer() {
  local case=$1 doc=$2; shift 2
  log="$work/$case.log"
  if start "$doc" "$log" "$@"; then
    id=$(zr_wait_window "skin_viewer $doc" 30)
    return 0
  fi
  fail "$case test: no window"; stop "$doc"; return 1
}

# shadow_at X Y W H: the shadow window (a frameless X window of W x H) is mapped at X,Y.
shadow_at() {
  xwininfo -root -tree | grep -q "${3}x${4}+${1}+${2} "
}

# --- the three documents ---------------------------------------------------------------------
# document_drawn FILE X Y W H [x y r g b]...: the screenshot shows the window at X,Y (W x H)
# with its drop shadow (just outside each side darker than the white root, 20 pixels out
# nothing) and the colours at the given points (relative to the window).
document_drawn() {
  local file=$1 x=$2 y=$3 w=$4 h=$5 ok=1
  shift 5
  local mx=$((x + w / 2)) my=$((y + h / 2))
  darker "$file" $((x - 2)) "$my" 250 || ok=0
  darker "$file" $((x + w + 1)) "$my" 250 || ok=0
  darker "$file" "$mx" $((y + h + 1)) 250 || ok=0
  near "$file" $((x - 20)) "$my" 255 255 255 0 || ok=0
  near "$file" "$mx" $((y + h + 20)) 255 255 255 0 || ok=0
  while [ $# -gt 0 ]; do
    near "$file" $((x + $1)) $((y + $2)) "$3" "$4" "$5" || ok=0
    shift 5
  done
  [ $ok = 1 ]
}

check_document() {
  local doc=$1 want_w=$2 want_h=$3; shift 3
  local log="$work/$doc.log" shot="$work/$doc.png"
  if ! start "$doc" "$log"; then fail "$doc: no first frame"; stop "$doc"; return; fi
  [ "$W" = "$want_w" ] && [ "$H" = "$want_h" ] && pass "$doc is ${W}x${H}" ||
    fail "$doc is ${W}x${H}, expected ${want_w}x${want_h}"
  # The shadow window comes up around the window after its first frame, then both are drawn.
  until_true 30 shadow_at $((X - 12)) $((Y - 12)) $((W + 24)) $((H + 24)) ||
    fail "$doc: no shadow window around it"
  until_drawn 30 "$shot" document_drawn "$X" "$Y" "$W" "$H" "$@" &&
    pass "$doc has a drop shadow outside it and its colours" || fail "$doc: shadow or colours"
  stop "$doc"
}

# Main window: tab area white (#FFFFFF), progress track #F1F2F5, the picture area light blue.
check_document wnd_main.xml 580 400 \
  5 395 255 255 255 \
  300 353 241 242 245 \
  560 380 255 255 255
read -r r g b <<<"$(pixel "$work/wnd_main.xml.png" $((X + 20)) $((Y + 200)))"
[ "$b" -gt "$r" ] && [ "$b" -gt 200 ] && pass "picture area is light blue ($r $g $b)" ||
  fail "picture area at (20,200) is $r $g $b"
# Plain box: white, the confirm button #2D73FF at (248,133), the decline button white inside
# its #C3C8D5 frame at (292,133).
check_document messagebox.xml 380 168 \
  5 5 255 255 255 \
  248 140 45 115 255 \
  292 133 195 200 213 \
  326 145 255 255 255
# Link box: the buttons swap places.
check_document messageboxwithlink.xml 380 168 \
  5 5 255 255 255 \
  326 140 45 115 255 \
  214 133 195 200 213

# --- the shadow follows the window ------------------------------------------------------------
if open_viewer move wnd_main.xml; then
  until_true 30 shadow_at $((X - 12)) $((Y - 12)) 604 424 && pass "shadow placed 12 pixels around the window" ||
    fail "shadow not at $((X - 12)),$((Y - 12)): $(xwininfo -root -tree | grep 604x424)"
  xdotool windowmove "$id" 100 120
  until_true 30 shadow_at 88 108 604 424 && pass "shadow follows a move" ||
    fail "shadow after move: $(xwininfo -root -tree | grep 604x424)"
  # Moved without its picture being handed over again: still drawn at the new place.
  moved_drawn() { darker "$1" 98 320 250 && darker "$1" 400 521 250 && near "$1" 70 320 255 255 255 0; }
  until_drawn 30 "$work/moved.png" moved_drawn && pass "the moved shadow is still drawn" ||
    fail "the shadow's picture is gone after the move"
  shadow=$(xwininfo -root -tree | grep "604x424+88+108 " | awk '{print $1}' | head -n 1)
  xwininfo -id "${shadow:-0}" 2>/dev/null | grep -q "Map State: IsViewable" ||
    fail "no viewable shadow window before minimising"
  zr_click_control "$id" wnd_main.xml minbtn
  shadow_hidden() { ! xwininfo -id "$shadow" 2>/dev/null | grep -q "Map State: IsViewable"; }
  until_true 30 shadow_hidden && pass "shadow hides with the window" ||
    fail "shadow still shown with the window minimised"
  stop wnd_main.xml
fi

# --- clicks ------------------------------------------------------------------------------------
# Each action is followed by a click on "btn_close" (which the viewer's box does not close on):
# once its notification is logged, the window has taken every input before it.
read -r ok_x ok_y <<<"$(zr_control_centre messagebox.xml btn_ok)"
read -r mark_x mark_y <<<"$(zr_control_centre messagebox.xml btn_close)"
if open_viewer click messagebox.xml; then
  zr_click "$id" "$ok_x" "$ok_y"
  zr_click "$id" "$mark_x" "$mark_y"
  until_true 30 settled "$log" "click btn_ok click btn_close " &&
    pass "one click on btn_ok gives one click notification" ||
    fail "clicks logged: $(clicks "$log")"
  # A press that leaves the button before the release is no click.
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + ok_x)) $((Y + ok_y)) mousedown 1 mousemove $((X + 100)) $((Y + ok_y)) mouseup 1
  zr_click "$id" "$mark_x" "$mark_y"
  until_true 30 settled "$log" "click btn_ok click btn_close click btn_close " &&
    pass "press dragged off the button is no click" || fail "a dragged-off press: $(clicks "$log")"
  stop messagebox.xml
fi

if open_viewer disabled messagebox.xml --button btn_ok; then
  zr_click "$id" "$ok_x" "$ok_y"
  zr_click "$id" "$mark_x" "$mark_y"
  until_true 30 settled "$log" "click btn_close " && pass "a disabled button gives no click" ||
    fail "disabled button clicked: $(clicks "$log")"
  disabled_drawn() { near "$1" $((X + ok_x)) $((Y + ok_y + 7)) 195 200 213; }
  until_drawn 30 "$work/disabled.png" disabled_drawn && pass "disabled button drawn #C3C8D5" ||
    fail "disabled button colour"
  stop messagebox.xml
fi

if open_viewer close wnd_main.xml; then
  zr_click_control "$id" wnd_main.xml closebtn
  wait_exit "$vpid" 60
  [ "$rc" = 0 ] && grep -q '^click closebtn$' "$log" &&
    pass "the close button closes the window" || fail "close button (exit '$rc')"
fi

# --- fatal path --------------------------------------------------------------------------------
log="$work/fatal.log"
zr_wine "$viewer" --log "$(zr_winpath "$log")" no_such_document.xml >/dev/null 2>&1 &
fatal_pid=$!
box=$(zr_wait_window Skin 60)
if [ -n "$box" ]; then
  # The error icon is the red one: count clearly red pixels in the box, once it is drawn.
  eval "$(xdotool getwindowgeometry --shell "$box")"
  red_icon() {
    red=$(convert "$1" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage \
          -fx "(r>0.7 && g<0.4 && b<0.4) ? 1 : 0" -format "%[fx:int(mean*w*h)]" info:)
    [ "$red" -gt 50 ]
  }
  until_drawn 30 "$work/fatal.png" red_icon && pass "fatal box shows the (red) error icon: $red red pixels" ||
    fail "fatal box icon: $red red pixels"
else
  fail "no box titled Skin"
fi
zr_wine "$viewer" --read-box Skin --log "$(zr_winpath "$work/box.log")" >/dev/null 2>&1
wait_exit "$fatal_pid" 60; code=$rc
grep -q '^box-text 加载资源文件失败：no_such_document.xml$' "$work/box.log" &&
  pass "fatal box text" || fail "fatal box: $(cat "$work/box.log" 2>/dev/null)"
[ "$code" = 1 ] && pass "fatal path exits with 1" || fail "fatal exit code '$code'"
grep -q '^ready' "$log" 2>/dev/null && fail "a window appeared for a missing document"

# --- at 150 % ----------------------------------------------------------------------------------
# The same prefix at LogPixels 144: the main document's window is 870 x 600, a drag on its
# picture inside the caption's scaled height moves it, and its close button, clicked where the
# engine lays it out at that scale, closes it.
zr_wineserver -k >/dev/null 2>&1
zr_wine_logpixels 144
if open_viewer scaled wnd_main.xml; then
  [ "$W $H" = "870 600" ] && pass "main window at 150 %: 870 x 600" || fail "main window at 150 %: $W x $H"
  # The picture at 300,90 of the document: caption (its top 100 units), 135 device pixels down.
  where() { xdotool getwindowgeometry --shell "$id" | grep -E '^[XY]=' | tr '\n' ' '; }
  eval "$(where)"
  x0=$X y0=$Y
  xdotool mousemove $((x0 + 450)) $((y0 + 135)) mousedown 1 mousemove $((x0 + 480)) $((y0 + 155)) \
    mousemove $((x0 + 510)) $((y0 + 175)) mouseup 1
  moved() { [ "$(where)" = "X=$((x0 + 60)) Y=$((y0 + 40)) " ]; }
  until_true 30 moved && pass "a drag on the caption at 150 % moves the window" ||
    fail "caption drag at 150 %: from $x0,$y0 to $(where)"
  zr_click_control "$id" wnd_main.xml closebtn
  wait_exit "$vpid" 60
  [ "$rc" = 0 ] && grep -q '^click closebtn$' "$log" &&
    pass "the close button closes the window at 150 %" || fail "close button at 150 % (exit '$rc')"
fi

echo "failures: $failures"
[ $failures = 0 ]
