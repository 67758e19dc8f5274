# Shared steps of the end-to-end update tests, sourced by tests/e2e/update_*_win_test.sh with
# the build and source folders as $1 and $2. Each test builds a product installation of its own
# in a fresh temp folder ("Zoria 投屏 <name>", with zrUpdater.exe copied in), writes a manifest,
# runs the real zrUpdater.exe under the build's Wine prefix, answers its boxes through the X
# display and checks the files byte for byte.
#
# Stand-in products take the mutex "Local\zrUpdater-tests-product-window" (as the Wine tests of
# the update engine do), so that no other test program of this build finds their window.

set -euo pipefail
e2e_build=$(cd "$1" && pwd)
e2e_source=$(cd "$2" && pwd)
source "$e2e_source/scripts/wine-env.sh"
export LANG=C.UTF-8
zr_wine_init "$e2e_build/wineprefix"
zr_display_up

e2e_updater="$e2e_build/src/zrUpdater.exe"
e2e_stand_in="$e2e_build/tools/stand_in_product/zrCastrix.exe"
[ -f "$e2e_updater" ] || { echo "missing $e2e_updater" >&2; exit 1; }
[ -f "$e2e_stand_in" ] || { echo "missing $e2e_stand_in" >&2; exit 1; }

e2e_work=$(mktemp -d "${TMPDIR:-/tmp}/zr-e2e.XXXXXX")
e2e_failures=0
e2e_pids=()
e2e_stop_files=()
e2e_drive=

e2e_cleanup() {
  local pid stop
  # Stand-ins are stopped from the Windows side (killing Wine's process would keep the mutex).
  for stop in "${e2e_stop_files[@]}"; do touch "$stop"; done
  for pid in "${e2e_pids[@]}"; do zr_wait_exit "$pid" 10 || true; done
  [ -n "$e2e_drive" ] && rm -f "$ZR_WINEPREFIX/dosdevices/$e2e_drive"
  if [ "$e2e_failures" = 0 ]; then rm -rf "$e2e_work"; else echo "files kept in $e2e_work" >&2; fi
  # Our own display (if we started one) goes, but not the prefix's wineserver: another test
  # program of this build may be running in the same prefix.
  ZR_WINEPREFIX= zr_display_down
}
trap e2e_cleanup EXIT

e2e_fail() {
  echo "FAIL: $*" >&2
  e2e_failures=$((e2e_failures + 1))
}

e2e_pass() { echo "ok (${SECONDS}s): $*"; }

# e2e_finish: the script's exit code.
e2e_finish() {
  if [ "$e2e_failures" = 0 ]; then echo "all checks passed"; else echo "$e2e_failures check(s) failed" >&2; fi
  [ "$e2e_failures" = 0 ]
}

# e2e_install NAME: a new installation folder with the updater in it; prints its path.
e2e_install() {
  local dir="$e2e_work/$1/Zoria 投屏 $1"
  mkdir -p "$dir/cache/update"
  cp "$e2e_updater" "$dir/zrUpdater.exe"
  printf '%s\n' "$dir"
}

# e2e_content FILE SIZE: SIZE random bytes in FILE (made with its folders).
e2e_content() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

# e2e_second_drive DIR: maps a free drive letter to DIR for the rest of the test; prints "X:".
e2e_second_drive() {
  local letter
  for letter in m n o p q r s t u v w x y; do
    if ln -s "$1" "$ZR_WINEPREFIX/dosdevices/$letter:" 2>/dev/null; then
      e2e_drive="$letter:"
      printf '%s:\n' "${letter^^}"
      return 0
    fi
  done
  return 1
}

# e2e_xml TEXT: TEXT with the XML special characters escaped.
e2e_xml() {
  local text=${1//&/&amp;}
  text=${text//</&lt;}
  printf '%s' "${text//>/&gt;}"
}

# e2e_manifest FILE VERSION TMP1 PATH1 [TMP2 PATH2 ...]: the manifest, Windows paths given.
e2e_manifest() {
  local file=$1 version=$2
  shift 2
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<config>\r\n  <version>%s</version>\r\n' "$version"
    while [ $# -ge 2 ]; do
      printf '  <file>\r\n    <url>http://example.invalid/%s</url>\r\n    <md5>0</md5>\r\n' "$(basename "$1")"
      printf '    <tmp>%s</tmp>\r\n    <path>%s</path>\r\n  </file>\r\n' "$(e2e_xml "$1")" "$(e2e_xml "$2")"
      shift 2
    done
    printf '</config>\r\n'
  } >"$file"
}

# e2e_start_stand_in DIR OPTIONS...: runs a copy of the stand-in product as DIR/zrCastrix.exe
# and waits until its window is up. Sets e2e_stand_in_pid (the Wine process on our side) and
# e2e_stand_in_stop (the file that ends it: e2e_stop_stand_in).
e2e_start_stand_in() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cp "$e2e_stand_in" "$dir/zrCastrix.exe"
  local ready="$dir/stand-in.ready"
  e2e_stand_in_stop="$dir/stand-in.stop"
  rm -f "$ready" "$e2e_stand_in_stop"
  e2e_stop_files+=("$e2e_stand_in_stop")
  zr_wine "$dir/zrCastrix.exe" "$@" --mutex 'Local\zrUpdater-tests-product-window' \
    --lifetime 240000 --until "$(zr_winpath "$e2e_stand_in_stop")" --ready "$(zr_winpath "$ready")" &
  e2e_stand_in_pid=$!
  e2e_pids+=("$e2e_stand_in_pid")
  local end=$((SECONDS + 300))
  while [ ! -f "$ready" ]; do
    if ! kill -0 "$e2e_stand_in_pid" 2>/dev/null || [ $SECONDS -ge $end ]; then
      e2e_fail "the stand-in product in $dir did not start"
      return 1
    fi
    sleep 0.1
  done
}

# e2e_stop_stand_in: ends the stand-in started last and waits for it.
e2e_stop_stand_in() {
  touch "$e2e_stand_in_stop"
  zr_wait_exit "$e2e_stand_in_pid" 20 || e2e_fail "the stand-in did not stop"
}

# e2e_run_updater INSTALL MANIFEST: starts the updater of INSTALL in the background; sets
# e2e_updater_pid.
e2e_run_updater() {
  zr_wine "$1/zrUpdater.exe" /config "$(zr_winpath "$2")" /version 1.0.0 &
  e2e_updater_pid=$!
  e2e_pids+=("$e2e_updater_pid")
}

# e2e_wait_updater [SECONDS]: waits for the updater to end; fails the check if it does not.
e2e_wait_updater() {
  if ! zr_wait_exit "$e2e_updater_pid" "${1:-60}"; then
    e2e_fail "the updater did not end"
    return 1
  fi
}

# e2e_box_button WINDOW first|second: "X Y" inside the skinned box WINDOW of its first (blue)
# or second (white, grey border) button, found by their colours in the lower part of the box.
e2e_box_button() {
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[,:() ]+' -v h="$HEIGHT" -v which="$2" '
      NR > 1 && $2 > h * 0.55 {
        r = $3; g = $4; b = $5
        if (which == "first" && r < 90 && b > 220) { x += $1; y += $2; n++ }
        if (which == "second" && r >= 185 && r <= 205 && g >= 190 && g <= 210 && b >= 205 && b <= 220) {
          x += $1; y += $2; n++
        }
      }
      END { if (n) printf "%d %d\n", x / n, y / n; else exit 1 }'
}

# e2e_answer_box first|second [SECONDS]: waits for the updater's message box and presses its
# first button (confirm, OK, retry) or its second (cancel). Both kinds of box are handled: the
# system box titled "更新" by keyboard, the skinned box ("MessageBox") by a click.
e2e_answer_box() {
  local which=$1 id= end=$((SECONDS + ${2:-40}))
  while [ -z "$id" ]; do
    id=$(xdotool search --onlyvisible --name '^(更新|MessageBox)$' 2>/dev/null | head -n 1 || true)
    if [ -z "$id" ]; then
      [ $SECONDS -lt $end ] || { e2e_fail "no message box appeared"; return 1; }
      sleep 0.2
    fi
  done
  sleep 0.5
  if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "更新" ]; then
    xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
    sleep 0.2
    if [ "$which" = first ]; then xdotool key --clearmodifiers Return; else xdotool key --clearmodifiers n; fi
  else
    local position
    xdotool mousemove 0 0; sleep 0.3  # a button under the mouse shows its hot colour
    position=$(e2e_box_button "$id" "$which") || { e2e_fail "no $which button in the box"; return 1; }
    # shellcheck disable=SC2086
    zr_click "$id" $position
  fi
  # The box must go away.
  end=$((SECONDS + 10))
  while xdotool search --onlyvisible --name '^(更新|MessageBox)$' 2>/dev/null | grep -qx "$id"; do
    [ $SECONDS -lt $end ] || { e2e_fail "the box did not close on its $which button"; return 1; }
    sleep 0.2
  done
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

# e2e_no_leftovers DIR DESCRIPTION: no ".bak" or ".tmp" file below DIR.
e2e_no_leftovers() {
  local found
  found=$(find "$1" \( -name '*.bak' -o -name '*.tmp' \) -print)
  if [ -n "$found" ]; then e2e_fail "$2: left behind: $found"; fi
}

# e2e_alive PID DESCRIPTION / e2e_ended PID CODE DESCRIPTION (CODE: the exit status seen here).
e2e_alive() {
  if ! kill -0 "$1" 2>/dev/null; then e2e_fail "$2: the process ended"; fi
}
e2e_ended() {
  if ! zr_wait_exit "$1" 20; then
    e2e_fail "$3: still running"
  elif [ "$ZR_EXIT_CODE" != "$2" ]; then
    e2e_fail "$3: exit status $ZR_EXIT_CODE, expected $2"
  fi
}
