# Wine harness, sourced by the test and demo scripts (and by wine-run.sh, the emulator CTest
# uses for Windows test programs).
#
#   zr_wine_init PREFIX   make PREFIX a ready Wine prefix (once; safe in parallel):
#                         wineboot, the font replacement that draws "微软雅黑" with
#                         WenQuanYi Micro Hei, no Mono/Gecko prompts. A 64-bit one unless
#                         ZR_WINEARCH=win32, which makes a 32-bit one beside it, PREFIX-win32
#                         (a prefix keeps the architecture it was made with)
#   zr_wine_init_scaled PREFIX DPI
#                         the same, then a copy of it whose display scale is DPI (96 = 100 %,
#                         144 = 150 %, 192 = 200 %: LogPixels of HKCU\Control Panel\Desktop),
#                         PREFIX-dpiDPI, made once; ZR_WINEPREFIX names the copy
#   zr_display_up         start a private Xvfb on a free display unless DISPLAY is set
#   zr_display_down       stop it again (also done by the EXIT trap that zr_display_up sets)
#   zr_wine PROGRAM ARGS  run a Windows program in ZR_WINEPREFIX
#   zr_wine_loader PROGRAM  the Wine loader zr_wine starts PROGRAM with
#   zr_wineserver ARGS    wineserver of that prefix (e.g. -w to wait for every process)
#   zr_gui_session BUILD  the start of a script that drives Windows programs on a display
#
# Everything is per prefix and per display: two test programs can run at once.

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

zr_wine_init() {
  export ZR_WINEPREFIX=$1
  [ "$WINEARCH" = win32 ] && ZR_WINEPREFIX=$1-win32
  mkdir -p "$(dirname "$ZR_WINEPREFIX")"
  zr_wine_ready "$ZR_WINEPREFIX" && return 0
  (
    flock 9
    zr_wine_ready "$ZR_WINEPREFIX" && exit 0
    export WINEPREFIX="$ZR_WINEPREFIX"
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
    touch "$ZR_WINEPREFIX/.zr-ready-2"
  ) 9>"$ZR_WINEPREFIX.lock"
}

zr_wine_init_scaled() {
  local dpi=$2
  zr_wine_init "$1"
  local base=$ZR_WINEPREFIX
  export ZR_WINEPREFIX=$base-dpi$dpi
  [ -f "$ZR_WINEPREFIX/.zr-ready-dpi" ] && return 0
  (
    flock 9
    [ -f "$ZR_WINEPREFIX/.zr-ready-dpi" ] && exit 0
    rm -rf "$ZR_WINEPREFIX"
    cp -a "$base" "$ZR_WINEPREFIX"
    export WINEPREFIX="$ZR_WINEPREFIX"
    LANG=C.UTF-8 DISPLAY= "$ZR_WINE_BIN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
      /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    # Wine reads the scale when its server starts: this one ends (saving the registry) first.
    timeout 120 "$ZR_WINESERVER_BIN" -w || { "$ZR_WINESERVER_BIN" -k; "$ZR_WINESERVER_BIN" -w; }
    touch "$ZR_WINEPREFIX/.zr-ready-dpi"
  ) 9>"$ZR_WINEPREFIX.lock"
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
zr_display_up() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo; fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  ZR_XVFB_PID=$!
  local number; read -r number <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$number"
  trap zr_display_down EXIT
}

# Only the display goes: other programs of the same prefix may still be running (tests run in
# parallel), so the prefix's wineserver is never killed here.
zr_display_down() {
  if [ -n "$ZR_XVFB_PID" ]; then
    kill "$ZR_XVFB_PID" 2>/dev/null; wait "$ZR_XVFB_PID" 2>/dev/null
    ZR_XVFB_PID=
    unset DISPLAY
  fi
}

# zr_gui_session BUILD: the build's prefix, a display and an empty folder $zr_work; at the
# script's exit the processes in zr_pids are ended, the folder and the display go.
zr_gui_session() {
  zr_wine_init "$1/wineprefix"
  zr_display_up
  zr_work=$(mktemp -d)
  zr_pids=()
  trap 'for p in "${zr_pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$zr_work"; zr_display_down' EXIT
}
# zr_fail TEXT: the script ends as failed.
zr_fail() { echo "FAIL: $*"; exit 1; }

# --- driving windows (xdotool on the current DISPLAY) -------------------------------------
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
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { printf '%s\n' "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# zr_click WINDOW X Y: a real press and release at X,Y inside WINDOW (client of the X window).
zr_click() {
  local id=$1 x=$2 y=$3 wx wy
  eval "$(xdotool getwindowgeometry --shell "$id")"
  wx=$((X + x)); wy=$((Y + y))
  xdotool mousemove "$wx" "$wy"; sleep 0.15
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1; sleep 0.15
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
    sleep 0.2
  done
  ZR_EXIT_CODE=0; wait "$pid" || ZR_EXIT_CODE=$?
}

# zr_winpath PATH: the Windows (Z:) form of a Unix path.
zr_winpath() { printf 'Z:%s\n' "$1" | tr '/' '\\'; }

# zr_scaled N: N pixels of the skin documents on the display the windows run on: N at 100 %,
# rounded to the nearest pixel at ZR_SCALE_PERCENT (150 for a prefix at LogPixels 144), as the
# skin engine places its controls.
zr_scaled() { echo $(( ($1 * ${ZR_SCALE_PERCENT:-100} + 50) / 100 )); }

# zr_box_buttons WINDOW: prints where the box's buttons are, "OK_X NO_X" in box pixels at 100 %
# (the button row's centre is at y 133), with NO_X 0 when the box shows one button. "btn_ok"
# is the blue one: right of "btn_no" in the link box, left of it in the plain box, and alone at
# the right when "btn_no" is hidden.
zr_box_buttons() {
  local id=$1 shot
  shot=$(mktemp "${TMPDIR:-/tmp}/zr-box.XXXXXX.png")
  xdotool mousemove 0 0 2>/dev/null; sleep 0.3  # no hover colours
  eval "$(xdotool getwindowgeometry --shell "$id")"
  import -window root -crop "$(zr_scaled 380)x$(zr_scaled 168)+$X+$Y" +repage "$shot" 2>/dev/null
  # Red and blue 8 pixels inside the left button place, 4 below its top (blue: btn_ok), and
  # red on that place's left edge (btn_no's grey frame, or white when it is empty).
  local pixels
  pixels=$(convert "$shot" -format "%[fx:int(255*p{$(zr_scaled 222),$(zr_scaled 122)}.r)] %[fx:int(255*p{$(zr_scaled 222),$(zr_scaled 122)}.b)] %[fx:int(255*p{$(zr_scaled 214),$(zr_scaled 133)}.r)]" info: 2>/dev/null)
  rm -f "$shot"
  local left_r left_b edge_r
  read -r left_r left_b edge_r <<<"$pixels"
  if [ "${left_r:-255}" -lt 150 ] && [ "${left_b:-0}" -gt 200 ]; then
    echo "248 326"    # plain box, two buttons: btn_ok left
  elif [ "${edge_r:-255}" -lt 240 ]; then
    echo "326 248"    # a framed btn_no stands left of btn_ok: link box, two buttons
  else
    echo "326 0"      # btn_ok alone
  fi
}

# zr_answer_box TITLE first|second|only: presses a button of the updater's message box: "first"
# and "only" press "btn_ok", "second" presses "btn_no". TITLE is the box's caption ("更新",
# see zr_wait_window) or a window title. Fails when no box comes up, or when "second" is
# asked of a box with one button.
zr_answer_box() {
  local title=$1 which=$2 id ok_x no_x x
  id=$(zr_wait_window "$title" 30) || return 1
  sleep 0.3
  read -r ok_x no_x <<<"$(zr_box_buttons "$id")"
  x=$ok_x
  if [ "$which" = second ]; then
    [ "$no_x" != 0 ] || return 1
    x=$no_x
  fi
  zr_click "$id" "$(zr_scaled "$x")" "$(zr_scaled 133)"
}
