# Wine harness, sourced by the test and demo scripts (and by wine-run.sh, the emulator CTest
# uses for Windows test programs).
#
#   zr_wine_init PREFIX [TEMPLATE]
#                         make PREFIX a ready Wine prefix (once; safe in parallel): a copy of
#                         the template prefix TEMPLATE (default: wineprefix-template beside
#                         PREFIX), which is made once with wineboot, the font replacement that
#                         draws "微软雅黑" with WenQuanYi Micro Hei and no Mono/Gecko prompts. A
#                         64-bit one unless ZR_WINEARCH=win32, which makes 32-bit ones beside
#                         them, PREFIX-win32 and TEMPLATE-win32 (a prefix keeps the
#                         architecture it was made with)
#   zr_wine_fresh PREFIX [TEMPLATE]
#                         the same, made anew whatever an earlier run left in it: a test's own
#                         prefix (a copy takes well under a second, a wineboot ten or more)
#   zr_wine_logpixels DPI the display scale of ZR_WINEPREFIX set to DPI (96 = 100 %, 144 = 150 %,
#                         192 = 200 %: LogPixels of HKCU\Control Panel\Desktop); nothing may
#                         run in the prefix then, as Wine reads the scale when its server starts
#   zr_display_up [--own] start a private Xvfb on a free display unless DISPLAY is set; with
#                         --own whatever DISPLAY says (a test's own display)
#   zr_display_down       stop it again (also done by the EXIT trap that zr_display_up sets)
#   zr_wine PROGRAM ARGS  run a Windows program in ZR_WINEPREFIX
#   zr_wine_loader PROGRAM  the Wine loader zr_wine starts PROGRAM with
#   zr_wineserver ARGS    wineserver of that prefix (e.g. -w to wait for every process)
#   zr_gui_session BUILD  the start of a script that drives Windows programs: a prefix and a
#                         display of its own
#
# Everything is per prefix and per display: tests that each have their own run side by side.

# 64-bit prefixes and the 64-bit loader; ZR_WINEARCH=win32 (the 32-bit build's tests in 32-bit
# Windows, scripts/smoke-i686.sh) gives 32-bit prefixes and the 32-bit loader. In a 64-bit
# prefix a 32-bit program is started by Wine's 32-bit loader (WoW64): the 64-bit one would hand
# it on through start.exe, a process of its own, whose pid is not the program's. ZR_WINE_BIN,
# when given, starts everything.
export WINEARCH=${ZR_WINEARCH:-win64}
zr_wine_bin_given=${ZR_WINE_BIN:-}
if [ "$WINEARCH" = win32 ]; then
  ZR_WINE_BIN=${ZR_WINE_BIN:-/usr/lib/wine/wine}
else
  ZR_WINE_BIN=${ZR_WINE_BIN:-/usr/lib/wine/wine64}
fi
ZR_WINESERVER_BIN=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

zr_wine_loader() {
  if [ -z "$zr_wine_bin_given" ] && [ "$WINEARCH" != win32 ] && [ -f "$1" ] &&
     [ "$(zr_pe_bits "$1")" = 32 ]; then
    echo /usr/lib/wine/wine
  else
    echo "$ZR_WINE_BIN"
  fi
}

# In a subshell (`zr_wine prog &`, `$(zr_wine ...)`) the subshell becomes the Wine process
# itself, so that $! is the program's own pid: killing or waiting for it reaches the program.
zr_wine() {
  local loader; loader=$(zr_wine_loader "$1")
  if [ "$BASHPID" != "$$" ]; then WINEPREFIX="$ZR_WINEPREFIX" exec "$loader" "$@"; fi
  WINEPREFIX="$ZR_WINEPREFIX" "$loader" "$@"
}
zr_wineserver() { WINEPREFIX="$ZR_WINEPREFIX" "$ZR_WINESERVER_BIN" "$@"; }

# A prefix is ready once set up, and a 64-bit one also once it has its 32-bit half where Wine's
# is installed (Wine adds it to a prefix made before, on the prefix's next start: here, under
# the lock, rather than in the first test that starts a program).
zr_wine_ready() {
  [ -f "$1/.zr-ready-2" ] || return 1
  [ "$WINEARCH" = win32 ] || [ ! -x /usr/lib/wine/wine ] || [ -d "$1/drive_c/windows/syswow64" ]
}

# zr_wine_template TEMPLATE: TEMPLATE (with -win32 for ZR_WINEARCH=win32) made a ready prefix
# once, under its lock, with wineboot; sets zr_template to its path. Nothing runs in it
# afterwards: it is only copied.
zr_wine_template() {
  zr_template=$1
  [ "$WINEARCH" = win32 ] && zr_template=$1-win32
  mkdir -p "$(dirname "$zr_template")"
  zr_wine_ready "$zr_template" && return 0
  (
    flock 9
    zr_wine_ready "$zr_template" && exit 0
    export WINEPREFIX="$zr_template"
    LANG=C.UTF-8 DISPLAY= "$ZR_WINE_BIN" wineboot -i >/dev/null 2>&1
    LANG=C.UTF-8 DISPLAY= "$ZR_WINE_BIN" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
      /v '微软雅黑' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    # Chinese in the system's own dialogs and controls falls back to the same font.
    for face in Tahoma 'MS Shell Dlg' 'Microsoft Sans Serif'; do
      LANG=C.UTF-8 DISPLAY= "$ZR_WINE_BIN" reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    # Wine's own services end a few seconds after the last program; under emulation (the
    # i686 smoke run) they were seen idle for good, so they get two minutes and are then ended
    # (the server still saves the registry as it exits).
    timeout 120 "$ZR_WINESERVER_BIN" -w || { "$ZR_WINESERVER_BIN" -k; "$ZR_WINESERVER_BIN" -w; }
    touch "$zr_template/.zr-ready-2"
  ) 9>"$zr_template.lock"
}

# zr_wine_copy FROM TO: TO (absent) becomes a prefix like FROM. Wine's own libraries and
# programs (drive_c/windows/system32, syswow64, winsxs: most of a prefix's 700 MB, never
# written to) are hard links where the file system allows, everything else is copied.
zr_wine_copy() {
  local big=(system32 syswow64 winsxs) d
  mkdir -p "$2"
  tar -C "$1" "${big[@]/#/--exclude=./drive_c/windows/}" -cf - . | tar -C "$2" -xf - || return 1
  for d in "${big[@]}"; do
    [ -d "$1/drive_c/windows/$d" ] || continue
    cp -al "$1/drive_c/windows/$d" "$2/drive_c/windows/$d" 2>/dev/null ||
      cp -a "$1/drive_c/windows/$d" "$2/drive_c/windows/$d" || return 1
  done
}

# zr_wine_prefix PREFIX: sets ZR_WINEPREFIX (PREFIX, or PREFIX-win32 for ZR_WINEARCH=win32).
zr_wine_prefix() {
  export ZR_WINEPREFIX=$1
  [ "$WINEARCH" = win32 ] && ZR_WINEPREFIX=$1-win32
  mkdir -p "$(dirname "$ZR_WINEPREFIX")"
}

zr_wine_init() {
  zr_wine_prefix "$1"
  zr_wine_ready "$ZR_WINEPREFIX" && return 0
  zr_wine_template "${2:-$(dirname "$1")/wineprefix-template}"
  (
    flock 9
    zr_wine_ready "$ZR_WINEPREFIX" && exit 0
    rm -rf "$ZR_WINEPREFIX"  # a copy that is not ready (cut short, or older than Wine's 32-bit half)
    zr_wine_copy "$zr_template" "$ZR_WINEPREFIX" && touch "$ZR_WINEPREFIX/.zr-ready-2"
  ) 9>"$ZR_WINEPREFIX.lock"
}

zr_wine_fresh() {
  zr_wine_prefix "$1"
  zr_wine_template "${2:-$(dirname "$1")/wineprefix-template}"
  # Whatever of an earlier run of the same test still runs there goes first.
  [ -d "$ZR_WINEPREFIX" ] && { WINEPREFIX="$ZR_WINEPREFIX" "$ZR_WINESERVER_BIN" -k >/dev/null 2>&1 || true; }
  rm -rf "$ZR_WINEPREFIX"
  zr_wine_copy "$zr_template" "$ZR_WINEPREFIX" && touch "$ZR_WINEPREFIX/.zr-ready-2"
}

zr_wine_logpixels() {
  WINEPREFIX="$ZR_WINEPREFIX" LANG=C.UTF-8 DISPLAY= "$ZR_WINE_BIN" reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
  # The server ends (saving the registry) before anything starts at the new scale.
  WINEPREFIX="$ZR_WINEPREFIX" timeout 120 "$ZR_WINESERVER_BIN" -w 2>/dev/null ||
    { zr_wineserver -k; zr_wineserver -w; }
}

# zr_windows_bits: 64 in a 64-bit prefix, 32 in a 32-bit one.
zr_windows_bits() { if [ "$WINEARCH" = win32 ]; then echo 32; else echo 64; fi; }

# zr_pe_bits EXE: 32 or 64, the bitness of a Windows program (its PE header's machine field).
zr_pe_bits() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j$((${header:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) echo "?" ;;
  esac
}

ZR_XVFB_PID=
# -noreset: an X server resets whenever its last client leaves, and a client that connects
# meanwhile is refused. The tests' own xdotool calls come and go all the time; a Wine program
# starting then could not open the display, its session got no graphics driver and the
# updater's window failed after its skin was built ("no main window").
zr_display_up() {
  [ "${1:-}" = --own ] || [ -z "${DISPLAY:-}" ] || return 0
  local fifo; fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  ZR_XVFB_PID=$!
  local number; read -r number <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$number"
  trap zr_display_down EXIT
  zr_park_pointer
}

# zr_park_pointer: the pointer goes to the screen's bottom-right corner, where no window comes
# up. Under Wine, a window whose first frame (and drop shadow) comes up under the pointer
# races the crossing events the pointer then gets on another thread: once, a box's thread hung
# there for good (its shadow half made) and no click reached it.
zr_park_pointer() { xdotool mousemove 1279 799 >/dev/null 2>&1 || true; }

# Only the display goes: other programs of the same prefix may still be running (tests run in
# parallel), so the prefix's wineserver is never killed here.
zr_display_down() {
  if [ -n "$ZR_XVFB_PID" ]; then
    kill "$ZR_XVFB_PID" 2>/dev/null; wait "$ZR_XVFB_PID" 2>/dev/null
    ZR_XVFB_PID=
    unset DISPLAY
  fi
}

# zr_test_name: the name of the running test (ZR_TEST_NAME, which the test registration gives,
# or the script's name), which names what is the test's own: its prefix, its screenshots.
zr_test_name() { printf '%s\n' "${ZR_TEST_NAME:-$(basename "$0" .sh)}"; }

# zr_gui_session BUILD: a prefix of the test's own ($BUILD/wineprefixes/<test>, made anew), a
# display of its own and an empty folder $zr_work; zr_updater is the build's updater (whose
# skin package the layouts come from). At the script's exit the processes in zr_pids and every
# process of the prefix are ended, the folder and the display go.
zr_gui_session() {
  zr_wine_fresh "$1/wineprefixes/$(zr_test_name)" "$1/wineprefix-template"
  zr_display_up --own
  zr_updater="$1/src/zrUpdater.exe"
  zr_work=$(mktemp -d)
  zr_pids=()
  trap 'for p in "${zr_pids[@]}"; do kill "$p" 2>/dev/null; done; zr_wineserver -k >/dev/null 2>&1; rm -rf "$zr_work"; zr_display_down' EXIT
}
# zr_fail TEXT: the script ends as failed.
zr_fail() { echo "FAIL: $*"; exit 1; }

# --- driving windows (xdotool on the current DISPLAY) -------------------------------------
# zr_windows PATTERN: prints the ids of the visible windows whose title matches PATTERN, one
# per line (nothing when there is none). A window that goes while xdotool walks the tree makes
# the X server fail the walk and xdotool end without an answer; the search is then made again,
# so that "no window" is never a failed walk. Fails when the walk keeps failing for 5 s.
zr_windows() {
  local out i
  for ((i = 0; i < 50; i++)); do
    out=$(xdotool search --onlyvisible --name "$1" 2>&1)
    case $out in
      *'X Error'*) sleep 0.1 ;;
      *) printf '%s\n' "$out" | grep -E '^[0-9]+$'; return 0 ;;
    esac
  done
  echo "zr_windows: the X server failed every search for $1" >&2
  return 2
}
# zr_no_window PATTERN: no visible window's title matches PATTERN (and the search was answered).
zr_no_window() { local ids; ids=$(zr_windows "$1") && [ -z "$ids" ]; }

# zr_wait_window NAME [SECONDS]: prints the id of the first visible window whose title is
# exactly NAME, or fails after SECONDS (default 20). The updater's message boxes draw their
# caption ("更新") inside the window, whose title is "MessageBox": waiting for "更新" waits
# for such a box.
zr_wait_window() {
  local name=$1 limit=${2:-20} id
  local end=$((SECONDS + limit))
  local pattern="^${name}\$"
  [ "$name" = '更新' ] && pattern='^(更新|MessageBox)$'
  while [ $SECONDS -lt $end ]; do
    id=$(zr_windows "$pattern" | head -n 1)
    [ -n "$id" ] && { printf '%s\n' "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# zr_click WINDOW X Y: a real press and release at X,Y inside WINDOW. The pointer's move, the
# press and the release reach the X server in this order in one request stream, and the
# program takes them in that order: nothing needs to be waited for in between.
# False, with nothing pressed, when the window is gone.
zr_click() {
  local id=$1 x=$2 y=$3 X= Y= WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
  [ -n "$X" ] || return 1
  xdotool mousemove $((X + x)) $((Y + y)) mousedown 1 mouseup 1
  zr_park_pointer  # not left where the next window comes up
}

# zr_scene: what the display shows, for a failure's log: the titled top-level windows from the
# top of the stack down (id in decimal as xdotool gives it, title, geometry) and the window
# under the pointer.
zr_scene() {
  local id rest
  echo "the display's windows, top first:"
  xwininfo -root -children 2>/dev/null | grep -v 'has no name\|"Default IME"' |
    sed -n 's/^ *\(0x[0-9a-f]*\) \(.*\)$/\1 \2/p' | while read -r id rest; do echo "  $((id)) $rest"; done
  echo "under the pointer: $(xdotool getmouselocation 2>/dev/null)"
}

# zr_wait_exit PID [SECONDS]: waits for a background process of this shell (call it
# directly, not in $(...)) and sets ZR_EXIT_CODE. Fails, killing it, if it still runs after
# SECONDS (default 30).
zr_wait_exit() {
  local pid=$1 limit=${2:-30}
  local end=$((SECONDS + limit))
  ZR_EXIT_CODE=
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -ge $end ]; then kill "$pid" 2>/dev/null; return 1; fi
    sleep 0.1
  done
  ZR_EXIT_CODE=0; wait "$pid" || ZR_EXIT_CODE=$?
}

# zr_winpath PATH: the Windows (Z:) form of a Unix path.
zr_winpath() { printf 'Z:%s\n' "$1" | tr '/' '\\'; }

# --- controls by name -----------------------------------------------------------------------
# The skin engine itself says where a control is: tools/skin_viewer --layout builds a document
# from an updater's own skin package in a window it never shows and writes each named
# control's rectangle. zr_updater names that updater (the build's: zr_gui_session and
# e2e_lib.sh set it), ZR_SKIN_VIEWER the viewer (default: the one built beside it).

# zr_layout DOCUMENT [EDITS...]: the lines of the layout of DOCUMENT with the viewer's edits
# (--hide NAME, --show NAME, --select NAME=N): "size W H", then "NAME X Y W H" for each shown
# named control and "NAME hidden" for the others. Kept once made (beside the viewer, keyed by
# the updater's size and time, the document and the edits): the layout of a build's package
# never changes at one display scale.
zr_layout() {
  local viewer=${ZR_SKIN_VIEWER:-$(dirname "$zr_updater")/../tools/skin_viewer/skin_viewer.exe}
  local cache key
  cache="$(dirname "$viewer")/layouts"
  # The prefix's display scale too: the lines are window pixels at that scale.
  key=$(printf '%s\n' "$(stat -L -c '%s %Y' "$zr_updater")" \
    "$(grep -a -m 1 '"LogPixels"' "$ZR_WINEPREFIX/user.reg" 2>/dev/null)" "$@" | md5sum | cut -c 1-32)
  if [ ! -s "$cache/$key" ]; then
    mkdir -p "$cache"
    local made; made=$(mktemp "$cache/$key.XXXXXX")
    # Not zr_wine: in a subshell (zr_layout runs in $(...)) it would become the viewer.
    WINEPREFIX="$ZR_WINEPREFIX" "$(zr_wine_loader "$viewer")" "$viewer" --layout --log "$(zr_winpath "$made")" \
      --package-of "$(zr_winpath "$zr_updater")" "${@:2}" "$1" >/dev/null 2>&1
    if ! grep -q '^size ' "$made"; then
      rm -f "$made"
      echo "no layout of $1 from $viewer" >&2
      return 1
    fi
    tr -d '\r' <"$made" >"$made.lines" && mv "$made.lines" "$cache/$key"
    rm -f "$made"
  fi
  cat "$cache/$key"
}

# zr_control_centre DOCUMENT NAME [EDITS...]: "X Y", the centre of the control NAME in window
# pixels; fails when the document has no such control or it is not shown.
zr_control_centre() {
  local doc=$1 name=$2 _name x y w h
  shift 2
  read -r _name x y w h < <(zr_layout "$doc" "$@" | grep -m 1 "^$name ")
  [ -n "${h:-}" ] || { echo "no shown control $name in $doc" >&2; return 1; }
  echo "$((x + w / 2)) $((y + h / 2))"
}

# zr_click_control WINDOW DOCUMENT NAME [EDITS...]: a click on the control NAME of the window
# built from DOCUMENT.
zr_click_control() {
  local id=$1 centre
  centre=$(zr_control_centre "${@:2}") || return 1
  zr_click "$id" $centre
}

# --- the updater's message boxes ------------------------------------------------------------
# A box says in the updater's record (zrUpdater.log beside it) what it shows, just before it
# takes input, and how it was answered once it is gone:
#   ... box shown (messageboxwithlink.xml; btn_close, btn_link, btn_no hidden, btn_ok): CAPTION: TEXT
#   ... box closed: btn_ok
# A box is open while the record has more "shown" lines than "closed" ones.

# zr_box RECORD [SECONDS]: waits (default 30 s) until RECORD says a box is open and a box window
# is on the display; sets zr_box_id (the X window), zr_box_document, zr_box_buttons (the
# record's list) and zr_box_shows ("DOCUMENT: NAME NAME", the box's shown answer buttons,
# btn_ok and btn_no, from left to right).
zr_box() {
  local record=$1 end=$((SECONDS + ${2:-30})) line
  until [ "$(zr_boxes_open "$record")" -gt 0 ] &&
    zr_box_id=$(zr_windows '^MessageBox$' | head -n 1) &&
    [ -n "$zr_box_id" ]; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
  line=$(grep -a ' box shown (' "$record" | tail -n 1 | tr -d '\r')
  line=${line#* box shown (}
  zr_box_document=${line%%; *}
  line=${line#*; }
  zr_box_buttons=${line%%)*}
  local name x _rest answers=()
  while read -r name x _rest; do
    [ "$name" = btn_ok ] || [ "$name" = btn_no ] || continue
    [ "$x" = hidden ] || answers+=("$x $name")
  done < <(zr_box_layout)
  zr_box_shows="$zr_box_document:$(printf '%s\n' "${answers[@]}" | sort -n | sed 's/^[0-9]* / /' | tr -d '\n')"
}

# zr_boxes_open RECORD: how many boxes RECORD says are open.
zr_boxes_open() {
  local shown closed
  shown=$(grep -ac ' box shown (' "$1" 2>/dev/null)
  closed=$(grep -ac ' box closed' "$1" 2>/dev/null)
  echo $((${shown:-0} - ${closed:-0}))
}

# zr_box_layout: the layout of the box zr_box found last, its hidden buttons hidden.
zr_box_layout() {
  local hides=() item
  while IFS= read -r item; do
    [[ $item == *" hidden"* ]] && hides+=(--hide "${item%% *}")
  done < <(tr ',' '\n' <<<"$zr_box_buttons" | sed 's/^ *//')
  zr_layout "$zr_box_document" "${hides[@]}"
}

# zr_box_centre NAME: "X Y", the centre of the control NAME of the box zr_box found last, in
# box pixels; fails when the box does not show it.
zr_box_centre() {
  zr_box_layout | awk -v n="$1" '$1 == n && $2 != "hidden" { print $2 + int($4 / 2), $3 + int($5 / 2); found = 1 }
    END { exit !found }'
}

# zr_answer_box RECORD first|second|only [SECONDS]: presses a button of the box that RECORD
# says is open (waiting for it as zr_box does): "first" and "only" press "btn_ok", "second"
# presses "btn_no", and waits until the record says the box was closed by it. Fails when no
# box comes up, when the box does not show that button ("only": or shows "btn_no" too), or
# when the press does not close it (zr_box_closed_by says what the record says then).
zr_answer_box() {
  local record=$1 which=$2 button=btn_ok closed centre
  zr_box_closed_by=
  zr_box "$record" "${3:-30}" || return 1
  [ "$which" = second ] && button=btn_no
  case "$zr_box_shows " in
    *" $button "*) ;;
    *) return 1 ;;
  esac
  if [ "$which" = only ] && [[ "$zr_box_shows " == *" btn_no "* ]]; then return 1; fi
  closed=$(grep -ac ' box closed' "$record" || true)  # grep -c fails on no line: not under set -e
  centre=$(zr_box_centre "$button") || return 1
  # A click the X server delivers while Wine is still busy mapping the box can be lost on a
  # loaded machine (seen once, beside a cold build of everything): a box still open ten seconds
  # after the click gets one more, as a user would give it, brought to the top first (once,
  # two clicks were lost: what the display showed then is logged), and the script says so.
  local clicks=0 end=$SECONDS
  until [ "$(grep -ac ' box closed' "$record")" -gt "$closed" ]; do
    if [ $SECONDS -ge $end ]; then
      [ $clicks -lt 2 ] || { zr_scene >&2; return 1; }
      if [ $clicks = 1 ]; then
        echo "zr_answer_box: the box is still open ten seconds after the click on $button: once more" >&2
        zr_scene >&2
        xdotool windowraise "$zr_box_id" 2>/dev/null
      fi
      zr_click "$zr_box_id" $centre
      clicks=$((clicks + 1))
      end=$((SECONDS + 10 * clicks))
    fi
    sleep 0.1
  done
  zr_box_closed_by=$(grep -a ' box closed' "$record" | sed -n "$((closed + 1))p" | tr -d '\r')
  zr_box_closed_by=${zr_box_closed_by##* box closed: }
  [ "$zr_box_closed_by" = "$button" ]
}
