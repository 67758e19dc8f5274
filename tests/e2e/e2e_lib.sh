# Shared steps of the end-to-end tests (tests/e2e/ui_*_win_test.sh, update_*_win_test.sh),
# sourced with the build and source folders as $1 and $2 and, when the test runs one part of
# its script, that part's name as $3 (and by scripts/smoke-i686.sh, which sets
# ZR_UI_PATIENCE: the waits for a program's start are that many times longer, for emulated
# 32-bit programs). They drive the real zrUpdater.exe on an Xvfb display with real mouse
# clicks (xdotool) and check the outcome on disk (byte for byte), in the process list, in the
# updater's record and on the loopback report server. A failed check is counted (e2e_fail)
# and the script goes on; e2e_finish ends it with the verdict.
#
# Each test has a Wine prefix of its own, made anew from the build's template prefix
# ($build/wineprefixes/<test>, where <test> is the name the registration gives in
# ZR_TEST_NAME), and an Xvfb display of its own, so tests run side by side and each may end
# every Wine process of its prefix when it is done (the product the updater starts lives on
# otherwise). Screenshots go to $build/screenshots/<test>/, and with them, at the end, the
# record each installation's updater kept (zrUpdater.log and zrUpdater.log.1), as
# <script>.<installation>.zrUpdater.log.
#
# A script whose cases are registered as tests of their own (tests/CMakeLists.txt: a
# "# Parts:" line in the script) runs the cases of one part when given one: e2e_part says
# which. Nothing here waits for a fixed time: every wait is for a state (a window, a file, a
# record line, a process's end, a paint on the screen) with a limit that fails it.
#
# Controls are clicked by name where the skin engine lays them out (zr_control_centre in
# scripts/wine-env.sh), and the updater's message boxes are found and answered through what
# they write in the record (zr_box, zr_answer_box).
#
# The updater is always $build/src/zrUpdater.exe, the build's own bytes. The helpers it is
# tested beside (stand-in product, report server, probes) come from the build folder
# ZR_HELPER_BUILD_DIR names (by default $build: the test registration names the 64-bit build's
# for the 32-bit updater in a 64-bit prefix), and the prefix is 32-bit when ZR_WINEARCH=win32.
# The skin viewer that lays out the documents is the updater's own build's. Scripts take
# e2e_updater, e2e_stand_in, e2e_server and e2e_helpers from here, so that each runs in every
# such setting unchanged.

set -u
e2e_build=$(cd "$1" && pwd)
e2e_source=$(cd "$2" && pwd)
e2e_part_given=${3:-}
source "$e2e_source/scripts/wine-env.sh"
export LANG=C.UTF-8

e2e_helpers=$(cd "${ZR_HELPER_BUILD_DIR:-$e2e_build}" && pwd)
e2e_updater="$e2e_build/src/zrUpdater.exe"
e2e_stand_in="$e2e_helpers/tools/stand_in_product/zrCastrix.exe"
e2e_server="$e2e_helpers/tools/report_server/report_server.exe"
zr_updater=$e2e_updater
for f in "$e2e_updater" "$e2e_stand_in" "$e2e_server" "$e2e_build/tools/skin_viewer/skin_viewer.exe"; do
  [ -f "$f" ] || { echo "missing $f (build zrUpdater, stand_in_product, report_server, skin_viewer)" >&2; exit 1; }
done
echo "a $(zr_pe_bits "$e2e_updater")-bit updater beside a $(zr_pe_bits "$e2e_stand_in")-bit product on $(zr_windows_bits)-bit Windows"

e2e_name=$(zr_test_name)
e2e_shots="$e2e_build/screenshots/$e2e_name"
zr_wine_fresh "$e2e_build/wineprefixes/$e2e_name" "$e2e_build/wineprefix-template"

e2e_work=$(mktemp -d "${TMPDIR:-/tmp}/zr-ui.XXXXXX")
rm -rf "$e2e_shots"
mkdir -p "$e2e_shots"
e2e_failures=0
e2e_pids=()
e2e_drive=

# e2e_part NAME: the test runs the part NAME of its script (or the whole script).
e2e_part() { [ -z "$e2e_part_given" ] || [ "$e2e_part_given" = "$1" ]; }

# e2e_keep_records: each installation's record goes beside the screenshots.
e2e_keep_records() {
  local log name
  while IFS= read -r -d '' log; do
    name=${log#"$e2e_work/"}
    cp "$log" "$e2e_shots/$(basename "$0" .sh).${name%%/*}.$(basename "$log")"
  done < <(find "$e2e_work" -name 'zrUpdater.log*' -print0 2>/dev/null)
}

e2e_cleanup() {
  local pid
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null; done
  zr_wineserver -k >/dev/null 2>&1  # the prefix is this test's own
  for pid in "${e2e_pids[@]}"; do wait "$pid" 2>/dev/null; done
  e2e_keep_records
  [ -n "$e2e_drive" ] && rm -f "$ZR_WINEPREFIX/dosdevices/$e2e_drive"
  zr_display_down
  if [ "$e2e_failures" = 0 ]; then rm -rf "$e2e_work"; else echo "files kept in $e2e_work" >&2; fi
}
# zr_display_up sets a trap of its own (its display's): ours, set after it, stops the display too.
zr_display_up --own
trap e2e_cleanup EXIT

e2e_fail() { echo "FAIL: $*" >&2; e2e_failures=$((e2e_failures + 1)); }
e2e_pass() { echo "ok (${SECONDS}s): $*"; }
e2e_check() {  # e2e_check TEXT COMMAND...: passes when COMMAND succeeds
  local text=$1
  shift
  if "$@"; then e2e_pass "$text"; else e2e_fail "$text"; fi
}
e2e_finish() {
  if [ "$e2e_failures" = 0 ]; then echo "all checks passed"; exit 0; fi
  echo "$e2e_failures check(s) failed" >&2
  exit 1
}

# e2e_installation NAME [FOLDER]: a new installation folder "$e2e_work/NAME/FOLDER" (default
# "Zoria 投屏 NAME") with the updater and an empty cache/update in it; prints its path.
e2e_installation() {
  local dir="$e2e_work/$1/${2:-Zoria 投屏 $1}"
  mkdir -p "$dir/cache/update"
  cp "$e2e_updater" "$dir/zrUpdater.exe"
  printf '%s\n' "$dir"
}

# e2e_xml TEXT: TEXT with the XML special characters escaped, in e2e_xml_text (no subshell:
# manifests of thousands of entries are written with it).
e2e_xml() {
  e2e_xml_text=${1//&/&amp;}
  e2e_xml_text=${e2e_xml_text//</&lt;}
  e2e_xml_text=${e2e_xml_text//>/&gt;}
}

# e2e_write_manifest FILE VERSION TMP1 PATH1 [TMP2 PATH2 ...]: the manifest, Windows paths given.
# Each md5 is "0" (not checked), or with e2e_md5=yes the staged file's MD5 (read from Z:).
e2e_write_manifest() {
  local file=$1 version=$2 md5 staged tmp
  shift 2
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<config>\r\n  <version>%s</version>\r\n' "$version"
    while [ $# -ge 2 ]; do
      md5=0
      if [ "${e2e_md5:-}" = yes ]; then
        staged=${1#Z:}
        md5=$(md5sum <"${staged//\\//}" | cut -c 1-32)
      fi
      printf '  <file>\r\n    <url>http://example.invalid/%s</url>\r\n    <md5>%s</md5>\r\n' "${1##*/}" "$md5"
      e2e_xml "$1"
      tmp=$e2e_xml_text
      e2e_xml "$2"
      printf '    <tmp>%s</tmp>\r\n    <path>%s</path>\r\n  </file>\r\n' "$tmp" "$e2e_xml_text"
      shift 2
    done
    printf '</config>\r\n'
  } >"$file"
}

# e2e_install NAME COUNT: an installation "$e2e_work/NAME/Zoria 投屏" with the updater, COUNT
# product files data/fN.txt ("old N"), their staged new contents in cache/update ("new N")
# and the manifest $e2e_work/NAME/update.xml. Sets e2e_app, e2e_manifest and e2e_entries (the
# manifest's TMP PATH pairs).
e2e_install() {
  local name=$1 count=$2 i w
  e2e_app=$(e2e_installation "$name" "Zoria 投屏")
  e2e_manifest="$e2e_work/$name/update.xml"
  e2e_foreign=()
  mkdir -p "$e2e_app/data" "$e2e_app/cache/update/data"
  w=$(zr_winpath "$e2e_app")
  local entries=()
  for i in $(seq 1 "$count"); do
    printf 'old %s' "$i" >"$e2e_app/data/f$i.txt"
    printf 'new %s' "$i" >"$e2e_app/cache/update/data/f$i.txt"
    entries+=("$w\\cache\\update\\data\\f$i.txt" "$w\\data\\f$i.txt")
  done
  e2e_write_manifest "$e2e_manifest" 3.2.0 "${entries[@]}"
  e2e_entries=("${entries[@]}")
  e2e_count=$count
}

# e2e_content FILE SIZE: SIZE random bytes in FILE (made with its folders).
e2e_content() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

# e2e_second_drive DIR: maps a free drive letter to DIR for the rest of the test and sets
# e2e_drive_letter ("X:"). Call it directly, not in $(...): the clean-up removes the mapping.
e2e_second_drive() {
  local letter
  for letter in m n o p q r s t u v w x y; do
    if ln -s "$1" "$ZR_WINEPREFIX/dosdevices/$letter:" 2>/dev/null; then
      e2e_drive="$letter:"
      e2e_drive_letter="${letter^^}:"
      return 0
    fi
  done
  return 1
}

# e2e_short_name NAME: the short (8.3) name a file named NAME gets (Wine's short names depend
# on the long name alone: a file of that name is made in a folder of its own and listed).
e2e_short_name() {
  local dir
  dir=$(mktemp -d "$e2e_work/names.XXXXXX")
  : >"$dir/$1"
  zr_wine cmd /c dir /x "$(zr_winpath "$dir")" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$NF == n { print $(NF - 1) }'
  rm -rf "$dir"
}

# e2e_wait_record PATTERN [SECONDS]: waits until the installation's record has a line that
# matches PATTERN (grep -E); false after SECONDS (default 60).
e2e_wait_record() { e2e_poll "${2:-60}" grep -qE -- "$1" "$e2e_app/zrUpdater.log"; }

# e2e_files_are old|new: every product file holds its old (or new) content, none missing.
e2e_files_are() {
  local which=$1 i text
  for ((i = 1; i <= e2e_count; i++)); do
    [ -f "$e2e_app/data/f$i.txt" ] || return 1
    text=
    IFS= read -r text <"$e2e_app/data/f$i.txt"
    [ "$text" = "$which $i" ] || return 1
  done
}

# e2e_count_new: how many product files hold their new content now.
e2e_count_new() {
  local i text n=0
  for ((i = 1; i <= e2e_count; i++)); do
    text=
    IFS= read -r text 2>/dev/null <"$e2e_app/data/f$i.txt"
    [ "$text" = "new $i" ] && n=$((n + 1))
  done
  echo "$n"
}

# e2e_put_foreign: files named like the run's own that it did not make, data/f1.txt.bak and
# data/f2.txt.tmp (random bytes, copies kept to compare): e2e_foreign_intact checks them,
# e2e_no_leftovers does not count them.
e2e_foreign=()
e2e_put_foreign() {
  local f
  mkdir -p "$e2e_work/foreign"
  for f in "$e2e_app/data/f1.txt.bak" "$e2e_app/data/f2.txt.tmp"; do
    e2e_content "$f" 3000
    cp "$f" "$e2e_work/foreign/$(basename "$f")"
    e2e_foreign+=("$f")
  done
}
e2e_foreign_intact() {
  local f
  for f in "${e2e_foreign[@]}"; do cmp -s "$f" "$e2e_work/foreign/$(basename "$f")" || return 1; done
}

# e2e_no_leftovers: no ".bak", ".tmp" or ".new" (a copy) file is left in the product's folder
# but those of e2e_put_foreign, and no run journal beside the updater.
e2e_no_leftovers() {
  local found
  found=$(find "$e2e_app/data" -name '*.bak' -o -name '*.tmp' -o -name '*.new' |
    grep -v -x -F "$(printf '%s\n' "${e2e_foreign[@]}")")
  [ -z "$found" ] && [ ! -e "$e2e_app/zrUpdater.journal" ]
}

# e2e_backups: how many ".bak" files the product's folder holds now.
e2e_backups() {
  local baks=("$e2e_app"/data/*.bak)
  [ -e "${baks[0]}" ] || baks=()
  echo "${#baks[@]}"
}

# e2e_is_new N: the product file N holds its new content (the files are replaced in the
# manifest's order: a cheap look at how far the replacement is).
e2e_is_new() {
  local text=
  IFS= read -r text 2>/dev/null <"$e2e_app/data/f$1.txt"
  [ "$text" = "new $1" ]
}

# e2e_wait_replacing [SECONDS]: waits until the replacing stage has begun (the first ".bak"
# appears); false after SECONDS (default 120).
e2e_wait_replacing() {
  local end=$((SECONDS + ${1:-120}))
  until [ "$(e2e_backups)" != 0 ]; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}

# e2e_launch EXE WHAT OPTIONS...: runs a copy of the stand-in product, EXE, with OPTIONS and waits
# until it is ready (its window up, its file held); WHAT names it in a failure. Sets e2e_launched_pid.
# It ends by itself after four minutes times ZR_UI_PATIENCE (under emulation an updater takes
# minutes to come up, and must still find it running).
e2e_launch() {
  local exe=$1 what=$2
  shift 2
  local ready="${exe%.exe}.ready"
  rm -f "$ready" "$ready.ended"
  zr_wine "$exe" "$@" --lifetime $((240000 * ${ZR_UI_PATIENCE:-1})) --ready "$(zr_winpath "$ready")" >/dev/null 2>&1 &
  e2e_launched_pid=$!
  e2e_pids+=("$e2e_launched_pid")
  local end=$((SECONDS + 60 * ${ZR_UI_PATIENCE:-1}))
  while [ ! -s "$ready" ]; do
    [ $SECONDS -lt $end ] || { e2e_fail "$what did not start"; return 1; }
    if ! kill -0 "$e2e_launched_pid" 2>/dev/null && [ ! -s "$ready" ]; then
      wait "$e2e_launched_pid"
      e2e_fail "$what ended before it was ready (exit code $?)"
      return 1
    fi
    sleep 0.1
  done
}

# e2e_hold FILE [--exclusive]: another program (a copy of the stand-in product without its
# window, not the installation's product, so nobody closes it) keeps FILE open without delete
# sharing, so that moving it fails (with --exclusive without any sharing: reading fails too).
# Sets e2e_holder_pid.
e2e_hold() {
  local dir
  dir=$(mktemp -d "$e2e_work/holder.XXXXXX")
  cp "$e2e_stand_in" "$dir/zrCastrix.exe"
  e2e_launch "$dir/zrCastrix.exe" "the program holding $1" --no-window --hold "$(zr_winpath "$1")" "${@:2}" || return
  e2e_holder_pid=$e2e_launched_pid
}

# e2e_put_product: the stand-in product as the installation's zrCastrix.exe (not started).
e2e_put_product() { cp "$e2e_stand_in" "$e2e_app/zrCastrix.exe"; }

# e2e_start_product OPTIONS...: starts the installation's product and waits for its window.
# Sets e2e_product_pid.
e2e_start_product() {
  e2e_put_product
  e2e_launch "$e2e_app/zrCastrix.exe" "the product" "$@" || return
  e2e_product_pid=$e2e_launched_pid
}

# e2e_product_processes: how many processes run the installation's zrCastrix.exe. The updater
# creates the product's process before it ends: once the updater has ended, this count is final,
# long before a started product's window would show.
e2e_product_processes() {
  local exe
  exe=$(zr_winpath "$e2e_app/zrCastrix.exe" | sed 's/[][\\.*^$+?(){}|]/\\&/g')
  pgrep -fc -- "$exe"
}

# e2e_product_windows: how many product windows ("Zoria投屏助手") are up.
e2e_product_windows() { zr_windows '^Zoria投屏助手$' | wc -l; }

# e2e_start_updater [ENV=VALUE...]: starts the installation's updater with $e2e_manifest; sets
# e2e_updater_pid (the Windows process's own). What Wine writes to the standard error (its
# debug channels, when WINEDEBUG asks for them, or ZR_UPDATER_WINEDEBUG for the updater alone)
# is added to $e2e_work/updater.log, which a failing test keeps. With
# e2e_updater_path set (a Windows path, e.g. through e2e_second_drive), the updater is started
# by that path.
e2e_start_updater() {
  # The layouts the checks of the main window use, made before the updater starts: the first
  # one made takes a Wine start, on a busy machine longer than the three seconds the
  # completion page of a small update is shown.
  zr_layout wnd_main.xml >/dev/null && zr_control_centre wnd_main.xml btn_runprogram --select tab_update_view=1 >/dev/null
  env ${ZR_UPDATER_WINEDEBUG:+WINEDEBUG="$ZR_UPDATER_WINEDEBUG"} "$@" WINEPREFIX="$ZR_WINEPREFIX" \
    "$(zr_wine_loader "$e2e_app/zrUpdater.exe")" \
    "${e2e_updater_path:-$e2e_app/zrUpdater.exe}" \
    /config "$(zr_winpath "$e2e_manifest")" /version 3.1.0 >/dev/null 2>>"$e2e_work/updater.log" &
  e2e_updater_pid=$!
  e2e_pids+=("$e2e_updater_pid")
}

# e2e_run_updater [ENV=VALUE...]: e2e_start_updater, then waits for the main window; sets
# e2e_main (the X window id).
e2e_run_updater() {
  e2e_start_updater "$@"
  # Two minutes: after a test has ended every Wine process of its prefix, the next program
  # starts the prefix's services afresh, which on a loaded machine has taken over a minute.
  e2e_main=$(zr_wait_window 'Zoria投屏助手更新程序' $((120 * ${ZR_UI_PATIENCE:-1}))) ||
    { e2e_fail "no main window"; return 1; }
  # Shown at its document's size, not on the way there.
  e2e_main_size=$(zr_layout wnd_main.xml | sed -n 's/^size //p')
  e2e_poll $((60 * ${ZR_UI_PATIENCE:-1})) e2e_main_sized ||
    { e2e_fail "the main window is not $e2e_main_size but $(e2e_geometry "$e2e_main")"; return 1; }
}
e2e_main_sized() { [[ "$(e2e_geometry "$e2e_main")" == *" $e2e_main_size" ]]; }

# e2e_poll SECONDS COMMAND...: true as soon as COMMAND succeeds, false when it has not within
# SECONDS (fractions allowed).
e2e_poll() {
  local end
  end=$(e2e_deadline "$1")
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$end" ] || return 1
    sleep 0.05
  done
}
e2e_deadline() { echo $(($(date +%s%N) + $(awk -v s="$1" 'BEGIN { printf "%.0f", s * 1e9 }'))); }

# e2e_main_shown / e2e_box_shown: the main window ($e2e_main) / the box found last
# ($e2e_box_id) is still on the screen.
e2e_main_shown() { zr_windows '^Zoria投屏助手更新程序$' | grep -qx "$e2e_main"; }
e2e_box_shown() { zr_windows '^MessageBox$' | grep -qx "$e2e_box_id"; }

# e2e_updater_ends [SECONDS]: the updater ends within SECONDS (default 60).
e2e_updater_ends() { zr_wait_exit "$e2e_updater_pid" "${1:-60}"; }
e2e_updater_runs() { kill -0 "$e2e_updater_pid" 2>/dev/null; }

# e2e_pixel WINDOW X Y: "R G B" of the pixel at X,Y of the window, as on the screen; nothing
# when the window is gone.
e2e_pixel() {
  local X= Y= WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  [ -n "$X" ] || return 1
  import -window root -crop "1x1+$((X + $2))+$((Y + $3))" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' | head -n 1
}

# e2e_control_centre DOCUMENT NAME [EDITS...]: "X Y", the centre of the control NAME of the
# skin document DOCUMENT in window pixels, as the skin engine lays it out from the updater's
# own package (zr_control_centre). Fails when the document shows no such control.
e2e_control_centre() { zr_control_centre "$@"; }

# e2e_completion_page: the main window shows its completion page: the start button
# ("btn_runprogram", on the lower area's second page) is drawn in its blue (#347BF6, or its
# hot colour under the mouse) at its place.
e2e_completion_page() {
  local r g b centre
  centre=$(zr_control_centre wnd_main.xml btn_runprogram --select tab_update_view=1) || return 1
  read -r r g b <<<"$(e2e_pixel "$e2e_main" $centre)"
  [ "${r:-255}" -lt 90 ] && [ "${b:-0}" -gt 220 ]
}

# e2e_wait_completion_page [SECONDS]: waits for the completion page; false after SECONDS.
e2e_wait_completion_page() {
  local end=$((SECONDS + ${1:-30}))
  until e2e_completion_page; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# e2e_shot NAME: a screenshot of the whole display as $e2e_shots/NAME.png, and where the main
# window stood then as NAME.geometry (when there is one).
e2e_shot() {
  import -window root "$e2e_shots/$1.png" 2>/dev/null
  [ -z "${e2e_main:-}" ] || xdotool getwindowgeometry --shell "$e2e_main" >"$e2e_shots/$1.geometry" 2>/dev/null
}

# e2e_progress_filled SHOT: how many pixels of the main window's progress bar ("pro_pos", along
# the middle of its row) show its blue fill in the screenshot $e2e_shots/SHOT.png (0 when the
# main window was not on it).
e2e_progress_filled() {
  local X= Y= WIDTH HEIGHT SCREEN _name x y w h
  read -r _name x y w h < <(zr_layout wnd_main.xml | grep -m 1 '^pro_pos ')
  eval "$(cat "$e2e_shots/$1.geometry" 2>/dev/null)"
  [ -n "$X" ] || { echo 0; return; }
  convert "$e2e_shots/$1.png" -crop "${w}x1+$((X + x))+$((Y + y + h / 4))" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[,:() ]+' 'NR > 1 && $3 < 160 && $5 > 200 { n++ } END { print n + 0 }'
}

# e2e_record: the record of the installation's updater ($e2e_app/zrUpdater.log).
e2e_record() { printf '%s\n' "$e2e_app/zrUpdater.log"; }

# e2e_box [SECONDS]: waits for the updater's message box (what the record says it shows, and
# its window); sets e2e_box_id and e2e_box_shows (zr_box: "DOCUMENT: BUTTONS", the answer
# buttons from left to right, e.g. "messageboxwithlink.xml: btn_no btn_ok").
e2e_box() {
  zr_box "$(e2e_record)" "${1:-30}" || return 1
  e2e_box_id=$zr_box_id
  e2e_box_shows=$zr_box_shows
}

# e2e_answer_boxes SECONDS PID...: while any of the processes runs (at most SECONDS), presses
# the first button of every updater box that comes up. Sets e2e_boxes_answered (how many); false
# when one still runs after SECONDS.
e2e_answer_boxes() {
  local end=$((SECONDS + $1)) pid running
  shift
  e2e_boxes_answered=0
  for (( ; ; )); do
    running=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" = 1 ] || return 0
    [ $SECONDS -lt $end ] || return 1
    if [ "$(zr_boxes_open "$(e2e_record)")" -gt 0 ] && zr_answer_box "$(e2e_record)" first 5; then
      e2e_boxes_answered=$((e2e_boxes_answered + 1))
    fi
    sleep 0.1
  done
}

# e2e_report_server: starts a loopback report endpoint, which records every request in a new
# folder, $e2e_records; sets e2e_port (the updater reaches it with
# http_proxy=http://127.0.0.1:$e2e_port).
e2e_report_server() {
  e2e_records=$(mktemp -d "$e2e_work/records.XXXXXX")
  zr_wine "$e2e_server" "$(zr_winpath "$e2e_records")" "$(zr_winpath "$e2e_records.port")" 200 300 >/dev/null 2>&1 &
  e2e_pids+=("$!")
  e2e_poll 60 test -s "$e2e_records.port" || { e2e_fail "the report server did not start"; return 1; }
  e2e_port=$(cat "$e2e_records.port")
}

# e2e_completed: the checks after the update was let go on: it reaches the completion page, the
# updater ends and every file holds its new content.
e2e_completed() {
  e2e_check "the update proceeds to the completion page" e2e_wait_completion_page 60
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_check "every file is new" e2e_files_are new
}

# e2e_rolled_back: the checks after a failed update's box was confirmed: the updater ends,
# every file holds its old content, nothing is left behind, the download cache is gone and
# exactly one report reached the endpoint.
e2e_rolled_back() {
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_check "every file holds its old content" e2e_files_are old
  e2e_check "no backup or parked file is left" e2e_no_leftovers
  e2e_check "the cache directory is gone" [ ! -e "$e2e_app/cache/update" ]
  local heads
  heads=$(ls "$e2e_records"/*.head 2>/dev/null | wc -l)
  e2e_check "exactly one report arrived ($heads)" [ "$heads" = 1 ]
}

# e2e_geometry WINDOW: "X Y WIDTH HEIGHT" of the window.
e2e_geometry() {
  local X= Y= WIDTH= HEIGHT= SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  echo "$X $Y $WIDTH $HEIGHT"
}

# e2e_start_stand_in DIR OPTIONS...: runs a copy of the stand-in product as DIR/zrCastrix.exe
# and waits until it is ready. Sets e2e_stand_in_pid (the Wine process on our side) and
# e2e_stand_in_stop (the file that ends it: e2e_stop_stand_in).
e2e_start_stand_in() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cp "$e2e_stand_in" "$dir/zrCastrix.exe"
  e2e_stand_in_stop="$dir/stand-in.stop"
  rm -f "$e2e_stand_in_stop"
  e2e_launch "$dir/zrCastrix.exe" "the stand-in product in $dir" "$@" \
    --until "$(zr_winpath "$e2e_stand_in_stop")" || return
  e2e_stand_in_pid=$e2e_launched_pid
  e2e_stand_in_ended="$dir/zrCastrix.ready.ended"
}

# e2e_stop_stand_in: ends the stand-in started last and waits for it.
e2e_stop_stand_in() {
  touch "$e2e_stand_in_stop"
  zr_wait_exit "$e2e_stand_in_pid" 60 || e2e_fail "the stand-in did not stop"
}

# e2e_answer_box first|second|only [SECONDS]: waits for the updater's message box, presses its
# first button (confirm, OK, retry: "btn_ok") or its second (cancel: "btn_no"; "only": the first
# of a box that shows no second) and waits until the record says the box was closed by it.
e2e_answer_box() {
  local which=$1 button=btn_ok
  [ "$which" = second ] && button=btn_no
  e2e_box "${2:-40}" || { e2e_fail "no message box appeared"; return 1; }
  [[ "$e2e_box_shows " == *" $button "* ]] || { e2e_fail "no $which button in the box ($e2e_box_shows)"; return 1; }
  if [ "$which" = only ] && [[ "$e2e_box_shows " == *" btn_no "* ]]; then
    e2e_fail "the box shows a second button ($e2e_box_shows)"
    return 1
  fi
  zr_answer_box "$(e2e_record)" "$which" 5 && return 0
  e2e_fail "the box ($e2e_box_shows) was not closed by its $which button${zr_box_closed_by:+ but by $zr_box_closed_by}"
}

# e2e_same FILE EXPECTED DESCRIPTION: FILE exists and equals EXPECTED byte for byte.
e2e_same() {
  if [ ! -f "$1" ]; then
    e2e_fail "$3: $1 is missing"
  elif ! cmp -s "$1" "$2"; then
    e2e_fail "$3: $1 differs from $2"
  fi
}

# e2e_absent PATH DESCRIPTION
e2e_absent() {
  if [ -e "$1" ]; then e2e_fail "$2: $1 exists"; fi
}

# e2e_no_leftovers_below DIR DESCRIPTION: no ".bak", ".tmp" or ".new" file below DIR but in
# its download cache.
e2e_no_leftovers_below() {
  local found
  found=$(find "$1" -path "$1/cache" -prune -o \( -name '*.bak' -o -name '*.tmp' -o -name '*.new' \) -print)
  if [ -n "$found" ]; then e2e_fail "$2: left behind: $found"; fi
}

# e2e_alive PID DESCRIPTION / e2e_ended PID CODE DESCRIPTION (CODE: the exit status seen here;
# "terminated": the stand-in started last ended without passing any of its own exits, as
# TerminateProcess ends it; Wine's exit status of such a process is 0 or 255 by a race).
e2e_alive() {
  if ! kill -0 "$1" 2>/dev/null; then e2e_fail "$2: the process ended"; fi
}
e2e_ended() {
  if ! zr_wait_exit "$1" 60; then
    e2e_fail "$3: still running"
  elif [ "$2" = terminated ]; then
    [ ! -e "$e2e_stand_in_ended" ] || e2e_fail "$3: it ended by itself (exit code $(cat "$e2e_stand_in_ended"))"
  elif [ "$ZR_EXIT_CODE" != "$2" ]; then
    e2e_fail "$3: exit status $ZR_EXIT_CODE, expected $2"
  fi
}
