# Shared steps of the window tests (tests/e2e/ui_*_win_test.sh), sourced with the build and
# source folders as $1 and $2 (and by scripts/smoke-i686.sh, which sets ZR_UI_PATIENCE: the
# waits for a program's start are that many times longer, for emulated 32-bit programs). They drive the real zrUpdater.exe on an Xvfb display with real
# mouse clicks (xdotool) and check the outcome on disk, in the process list and on the
# loopback report server.
#
# The window tests share one Wine prefix of their own ($build/wineprefix-ui) and take turns
# through its lock, so each may end every Wine process of that prefix when it is done (the
# product the updater starts lives on otherwise). Screenshots go to $build/screenshots/ui/.

set -u
ui_build=$(cd "$1" && pwd)
ui_source=$(cd "$2" && pwd)
source "$ui_source/scripts/wine-env.sh"
export LANG=C.UTF-8

ui_updater="$ui_build/src/zrUpdater.exe"
ui_stand_in="$ui_build/tools/stand_in_product/zrCastrix.exe"
ui_server="$ui_build/tools/report_server/report_server.exe"
for f in "$ui_updater" "$ui_stand_in" "$ui_server"; do
  [ -f "$f" ] || { echo "missing $f (build zrUpdater, stand_in_product, report_server)" >&2; exit 1; }
done

# Our own turn lock: the prefix's ".lock" is zr_wine_init's, taken again below.
exec 7>"$ui_build/wineprefix-ui.turn"
flock 7
zr_wine_init "$ui_build/wineprefix-ui"

ui_work=$(mktemp -d "${TMPDIR:-/tmp}/zr-ui.XXXXXX")
ui_shots="$ui_build/screenshots/ui"
mkdir -p "$ui_shots"
ui_failures=0
ui_pids=()

ui_cleanup() {
  local pid
  for pid in "${ui_pids[@]}"; do kill "$pid" 2>/dev/null; done
  zr_wineserver -k >/dev/null 2>&1  # this prefix is ours while we hold its lock
  for pid in "${ui_pids[@]}"; do wait "$pid" 2>/dev/null; done
  zr_display_down
  if [ "$ui_failures" = 0 ]; then rm -rf "$ui_work"; else echo "files kept in $ui_work" >&2; fi
}
# zr_display_up sets a trap of its own (its display's): ours, set after it, stops the display too.
zr_display_up
trap ui_cleanup EXIT

ui_fail() { echo "FAIL: $*" >&2; ui_failures=$((ui_failures + 1)); }
ui_pass() { echo "ok (${SECONDS}s): $*"; }
ui_check() {  # ui_check TEXT COMMAND...: passes when COMMAND succeeds
  local text=$1
  shift
  if "$@"; then ui_pass "$text"; else ui_fail "$text"; fi
}
ui_finish() {
  if [ "$ui_failures" = 0 ]; then echo "all checks passed"; exit 0; fi
  echo "$ui_failures check(s) failed" >&2
  exit 1
}

# ui_install NAME COUNT: an installation "$ui_work/NAME/Zoria 投屏" with the updater, COUNT
# product files data/fN.txt ("old N"), their staged new contents in cache/update ("new N")
# and the manifest $ui_work/NAME/update.xml. Sets ui_app and ui_manifest.
ui_install() {
  local name=$1 count=$2 i
  ui_app="$ui_work/$1/Zoria 投屏"
  ui_manifest="$ui_work/$1/update.xml"
  mkdir -p "$ui_app/data" "$ui_app/cache/update/data"
  cp "$ui_updater" "$ui_app/zrUpdater.exe"
  local w
  w=$(zr_winpath "$ui_app")
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<config>\r\n<version>3.2.0</version>\r\n'
    for i in $(seq 1 "$count"); do
      printf 'old %s' "$i" >"$ui_app/data/f$i.txt"
      printf 'new %s' "$i" >"$ui_app/cache/update/data/f$i.txt"
      printf '<file><url>http://example.invalid/f%s</url><md5>0</md5><tmp>%s\\cache\\update\\data\\f%s.txt</tmp><path>%s\\data\\f%s.txt</path></file>\r\n' \
        "$i" "$w" "$i" "$w" "$i"
    done
    printf '</config>\r\n'
  } >"$ui_manifest"
  ui_count=$count
}

# ui_files_are old|new: every product file holds its old (or new) content, none missing.
ui_files_are() {
  local which=$1 i text
  for ((i = 1; i <= ui_count; i++)); do
    [ -f "$ui_app/data/f$i.txt" ] || return 1
    text=
    IFS= read -r text <"$ui_app/data/f$i.txt"
    [ "$text" = "$which $i" ] || return 1
  done
}

# ui_count_new: how many product files hold their new content now.
ui_count_new() {
  local i text n=0
  for ((i = 1; i <= ui_count; i++)); do
    text=
    IFS= read -r text 2>/dev/null <"$ui_app/data/f$i.txt"
    [ "$text" = "new $i" ] && n=$((n + 1))
  done
  echo "$n"
}

# ui_no_leftovers: no ".bak" or ".tmp" file is left in the product's folder, and no run
# journal beside the updater.
ui_no_leftovers() {
  [ -z "$(find "$ui_app/data" -name '*.bak' -o -name '*.tmp' | head -n 1)" ] &&
    [ ! -e "$ui_app/zrUpdater.journal" ]
}

# ui_backups: how many ".bak" files the product's folder holds now.
ui_backups() { find "$ui_app/data" -name '*.bak' | wc -l; }

# ui_wait_replacing [SECONDS]: waits until the replacing stage has begun (the first ".bak"
# appears); false after SECONDS (default 60).
ui_wait_replacing() {
  local end=$((SECONDS + ${1:-60}))
  until [ -n "$(find "$ui_app/data" -name '*.bak' -print -quit)" ]; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

# ui_launch EXE WHAT OPTIONS...: runs a copy of the stand-in product, EXE, with OPTIONS and waits
# until it is ready (its window up, its file held); WHAT names it in a failure. Sets ui_launched_pid.
ui_launch() {
  local exe=$1 what=$2
  shift 2
  local ready="${exe%.exe}.ready"
  rm -f "$ready"
  zr_wine "$exe" "$@" --lifetime 240000 --ready "$(zr_winpath "$ready")" >/dev/null 2>&1 &
  ui_launched_pid=$!
  ui_pids+=("$ui_launched_pid")
  local end=$((SECONDS + 60 * ${ZR_UI_PATIENCE:-1}))
  while [ ! -s "$ready" ]; do
    [ $SECONDS -lt $end ] || { ui_fail "$what did not start"; return 1; }
    sleep 0.1
  done
}

# ui_hold FILE: another program (a copy of the stand-in product without its window, not the
# installation's product, so nobody closes it) keeps FILE open without delete sharing, so that
# moving it fails. Sets ui_holder_pid.
ui_hold() {
  local dir
  dir=$(mktemp -d "$ui_work/holder.XXXXXX")
  cp "$ui_stand_in" "$dir/zrCastrix.exe"
  ui_launch "$dir/zrCastrix.exe" "the program holding $1" --no-window --hold "$(zr_winpath "$1")" || return
  ui_holder_pid=$ui_launched_pid
}

# ui_put_product: the stand-in product as the installation's zrCastrix.exe (not started).
ui_put_product() { cp "$ui_stand_in" "$ui_app/zrCastrix.exe"; }

# ui_start_product OPTIONS...: starts the installation's product and waits for its window.
# Sets ui_product_pid.
ui_start_product() {
  ui_put_product
  ui_launch "$ui_app/zrCastrix.exe" "the product" "$@" || return
  ui_product_pid=$ui_launched_pid
}

# ui_product_windows: how many product windows ("Zoria投屏助手") are up.
ui_product_windows() { xdotool search --onlyvisible --name '^Zoria投屏助手$' 2>/dev/null | wc -l; }

# ui_start_updater [ENV=VALUE...]: starts the installation's updater with $ui_manifest; sets
# ui_updater_pid (the Windows process's own). What Wine writes to the standard error (its
# debug channels, when WINEDEBUG asks for them) is added to $ui_work/updater.log.
ui_start_updater() {
  env "$@" WINEPREFIX="$ZR_WINEPREFIX" "$ZR_WINE_BIN" "$ui_app/zrUpdater.exe" \
    /config "$(zr_winpath "$ui_manifest")" /version 3.1.0 >/dev/null 2>>"$ui_work/updater.log" &
  ui_updater_pid=$!
  ui_pids+=("$ui_updater_pid")
}

# ui_run_updater [ENV=VALUE...]: ui_start_updater, then waits for the main window; sets
# ui_main (the X window id).
ui_run_updater() {
  ui_start_updater "$@"
  ui_main=$(zr_wait_window 'Zoria投屏助手更新程序' $((60 * ${ZR_UI_PATIENCE:-1}))) ||
    { ui_fail "no main window"; return 1; }
}

# ui_updater_ends [SECONDS]: the updater ends within SECONDS (default 30).
ui_updater_ends() { zr_wait_exit "$ui_updater_pid" "${1:-30}"; }
ui_updater_runs() { kill -0 "$ui_updater_pid" 2>/dev/null; }

# ui_pixel WINDOW X Y: "R G B" of the pixel at X,Y of the window, as on the screen.
ui_pixel() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "1x1+$((X + $2))+$((Y + $3))" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' | head -n 1
}

# ui_completion_page: the main window shows its completion page: the start button's blue
# (#347BF6, or its hot colour under the mouse) at the button's place.
ui_completion_page() {
  local r g b
  read -r r g b <<<"$(ui_pixel "$ui_main" 226 326)"
  [ "${r:-255}" -lt 90 ] && [ "${b:-0}" -gt 220 ]
}

# ui_wait_completion_page [SECONDS]: waits for the completion page; false after SECONDS.
ui_wait_completion_page() {
  local end=$((SECONDS + ${1:-30}))
  until ui_completion_page; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# ui_shot NAME: a screenshot of the whole display as $ui_shots/NAME.png.
ui_shot() { import -window root "$ui_shots/$1.png" 2>/dev/null; }

# ui_progress_filled SHOT: how many pixels of the main window's progress bar (508 wide, at
# 36,352 in the window) show its blue fill in the screenshot $ui_shots/SHOT.png.
ui_progress_filled() {
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$ui_main")"
  convert "$ui_shots/$1.png" -crop "508x1+$((X + 36))+$((Y + 353))" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[,:() ]+' 'NR > 1 && $3 < 160 && $5 > 200 { n++ } END { print n + 0 }'
}

# ui_box [SECONDS]: waits for the updater's message box; sets ui_box_id and ui_box_buttons
# ("OK_X NO_X" as zr_box_buttons prints them).
ui_box() {
  ui_box_id=$(zr_wait_window MessageBox "${1:-30}") || return 1
  sleep 0.5
  ui_box_buttons=$(zr_box_buttons "$ui_box_id")
}

# ui_answer_boxes SECONDS PID...: while any of the processes runs (at most SECONDS), presses
# the first button of every updater box that comes up. Sets ui_boxes_answered (how many); false
# when one still runs after SECONDS.
ui_answer_boxes() {
  local end=$((SECONDS + $1)) id pid running
  shift
  ui_boxes_answered=0
  for (( ; ; )); do
    running=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" = 1 ] || return 0
    [ $SECONDS -lt $end ] || return 1
    id=$(xdotool search --onlyvisible --name '^MessageBox$' 2>/dev/null | head -n 1)
    if [ -n "$id" ] && zr_answer_box MessageBox first; then
      ui_boxes_answered=$((ui_boxes_answered + 1))
      while xdotool search --onlyvisible --name '^MessageBox$' 2>/dev/null | grep -qx "$id"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
      done
    fi
    sleep 0.2
  done
}

# ui_report_server: starts the loopback report endpoint, which records every request in
# $ui_records; sets ui_port (the updater reaches it with http_proxy=http://127.0.0.1:$ui_port).
ui_report_server() {
  ui_records="$ui_work/records"
  mkdir -p "$ui_records"
  rm -f "$ui_work/port"
  zr_wine "$ui_server" "$(zr_winpath "$ui_records")" "$(zr_winpath "$ui_work/port")" 200 300 >/dev/null 2>&1 &
  ui_pids+=("$!")
  for _ in $(seq 300); do [ -s "$ui_work/port" ] && break; sleep 0.1; done
  [ -s "$ui_work/port" ] || { ui_fail "the report server did not start"; return 1; }
  ui_port=$(cat "$ui_work/port")
}

# ui_rolled_back: the checks after a failed update's box was confirmed: the updater ends,
# every file holds its old content, nothing is left behind, the download cache is gone and
# exactly one report reached the endpoint.
ui_rolled_back() {
  ui_check "the updater ends" ui_updater_ends 60
  ui_check "every file holds its old content" ui_files_are old
  ui_check "no backup or parked file is left" ui_no_leftovers
  ui_check "the cache directory is gone" [ ! -e "$ui_app/cache/update" ]
  local heads
  heads=$(ls "$ui_records"/*.head 2>/dev/null | wc -l)
  ui_check "exactly one report arrived ($heads)" [ "$heads" = 1 ]
}

# ui_geometry WINDOW: "X Y WIDTH HEIGHT" of the window.
ui_geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
