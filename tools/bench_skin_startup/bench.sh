#!/usr/bin/env bash
# Start-up benchmark of the skin engine. Prints figures; asserts nothing about them.
# targets: skin_viewer plain_window
#
#   bench.sh BUILD [WIN32_BUILD] [RUNS]
#
# BUILD is a win64 build folder (scripts/bench.sh gives it a Release one, built as the shipped
# exe is). Prints, side by side:
# - time from process start to the first painted frame of the updater's main window
#   (skin_viewer showing "wnd_main.xml" with the texts the updater sets, its package read from
#   its own resource as the updater does) against plain_window, a minimal Win32 program that
#   opens a plain 580 x 400 window; the phases of the skinned start;
# - peak working set of each with its window shown;
# - the work of later frames: paints per relayout, a whole repaint, shadow bytes handed to the
#   system per drag step;
# - sizes of the i686 Release executables, when a win32 build folder is given.
# Both programs run under Wine, RUNS times each (default 10) alternating, in a Wine prefix and
# on an Xvfb of this benchmark's own: a Wine server left behind by another program (a console
# benchmark starts one without a display) cannot take its windows. The whole set is measured
# twice: at 100 % and on a display at 150 % (a prefix of its own whose LogPixels is 144),
# where both windows are 870 x 600 and the skinned one is drawn at that scale.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/wine-env.sh"
build=$(cd "$1" && pwd)
win32=${2:-}
runs=${3:-10}
viewer="$build/tools/skin_viewer/skin_viewer.exe"
plain="$build/tools/skin_viewer/plain_window.exe"
for exe in "$viewer" "$plain"; do
  [ -x "$exe" ] || { echo "missing $exe: cmake --build $build --target skin_viewer plain_window"; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-bench-skin.XXXXXX")
unset DISPLAY
zr_display_up
prefixes=()
cleanup() {
  for p in "${prefixes[@]}"; do  # this benchmark's own prefixes: nothing else runs in them
    WINEPREFIX=$p "$ZR_WINESERVER_BIN" -k >/dev/null 2>&1
  done
  zr_display_down
  rm -rf "$work"
}
trap cleanup EXIT

# What the updater's window shows at its first frame (its InitWindow sets these).
export LANG=C.UTF-8  # the Chinese arguments reach Wine intact
shown=(--set 'lab_captionTitle=更新Zoria投屏助手' --set 'lab_install_name=Zoria投屏助手'
       --show lab_install_tip --show lab_install_name)
skinned() { timeout 60 "$ZR_WINE_BIN" "$viewer" --bench --log "$(zr_winpath "$1")" "${shown[@]}" wnd_main.xml; }
plain_run() { timeout 60 "$ZR_WINE_BIN" "$plain" --log "$(zr_winpath "$1")"; }

# measure SCALE: the runs and their figures in the prefix ZR_WINEPREFIX names.
measure() {
local scale=$1
export WINEPREFIX="$ZR_WINEPREFIX"
prefixes+=("$ZR_WINEPREFIX")
rm -f "$work"/*.log
zr_wineserver -p >/dev/null 2>&1  # keep the server up between runs, as in a desktop session
# Warm-up runs (first start of the prefix and the font cache), not counted.
skinned "$work/warm.log" >/dev/null 2>&1
plain_run "$work/warm.log" >/dev/null 2>&1
for i in $(seq 1 "$runs"); do
  skinned "$work/skin.log" >/dev/null 2>&1
  plain_run "$work/plain.log" >/dev/null 2>&1
done
if ! grep -q '^frame-ms ' "$work/skin.log" 2>/dev/null || ! grep -q '^frame-ms ' "$work/plain.log" 2>/dev/null; then
  echo "FAIL: no frame was logged at $scale (skin: $(grep -c '^frame-ms' "$work/skin.log" 2>/dev/null || echo 0)," \
       "plain: $(grep -c '^frame-ms' "$work/plain.log" 2>/dev/null || echo 0) of $runs runs)"
  exit 1
fi
report "$scale"
zr_wineserver -k >/dev/null 2>&1
}

# median FILE KEY: the median of the KEY lines' first values
median() {
  grep "^$2 " "$1" | awk '{print $2}' | sort -n | awk '
    { v[NR] = $1 } END { if (NR == 0) { print "n/a"; exit }
      printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# stats FILE KEY: "median M  min A  max B  (n=N)"
stats() {
  grep "^$2 " "$1" | awk '{print $2}' | sort -n | awk '
    { v[NR] = $1 } END {
      if (NR == 0) { print "n/a"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "median %.1f  min %.1f  max %.1f  (n=%d)", m, v[1], v[NR], NR }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "n/a" }'; }

report() {
echo "######## display at $1 ########"
skin_ms=$(median "$work/skin.log" frame-ms); plain_ms=$(median "$work/plain.log" frame-ms)
# A viewer older than the settled figure ("shown-peak-kb") gave its peak at the first frame.
peak_key=shown-peak-kb
grep -q "^$peak_key " "$work/skin.log" || peak_key=peak-kb
skin_kb=$(median "$work/skin.log" $peak_key); plain_kb=$(median "$work/plain.log" peak-kb)
echo "== start-up to first painted frame (ms, under Wine) =="
echo "updater's window (skin engine) : $(stats "$work/skin.log" frame-ms)"
echo "plain Win32 window             : $(stats "$work/plain.log" frame-ms)"
aim=1.2; [ "$1" = "100 %" ] || aim=1.15  # the scaled window has the tighter aim
echo "ratio of the medians           : $(ratio "$skin_ms" "$plain_ms") (aim: at most ${aim}x)"
echo "skin engine phases (median)    : $(grep '^phases-ms' "$work/skin.log" | awk '{print $3, $5, $7}' |
  sort -n -k3 | awk '{a[NR]=$0} END {split(a[int((NR+1)/2)], f, " ");
  printf "wWinMain at %.1f, window built at %.1f, first frame at %.1f", f[1], f[2], f[3]}')"
echo "shadow shown at (median)       : $(median "$work/skin.log" shadow-ms) ms"
echo "== peak working set with the window shown (KB; the skinned one with its shadow) =="
echo "updater's window (skin engine) : $(stats "$work/skin.log" $peak_key)"
echo "plain Win32 window             : $(stats "$work/plain.log" peak-kb)"
memory_aim="aim: at most +8 MB"; [ "$1" = "100 %" ] || memory_aim="the +8 MB aim is at 100 %: pictures and surfaces grow with the scale's square"
echo "difference of the medians      : $(awk -v a="$skin_kb" -v b="$plain_kb" 'BEGIN { printf "%+.1f MB", (a - b) / 1024 }') ($memory_aim)"
echo "== later frames of the updater's window (median of the runs) =="
echo "paints per relayout            : $(median "$work/skin.log" paints-per-relayout)"
echo "whole repaint                  : $(median "$work/skin.log" repaint-ms) ms"
echo "shadow bytes per drag step     : $(median "$work/skin.log" drag-step-bytes)"
}

zr_wine_init "$build/wineprefix-bench"
measure "100 %"
zr_wine_fresh "$build/wineprefix-bench-150"
zr_wine_logpixels 144
measure "150 % (LogPixels 144)"
if [ -n "$win32" ]; then
  echo "== i686 Release executables (bytes) =="
  for exe in "$win32/src/zrUpdater.exe" "$win32/tools/skin_viewer/skin_viewer.exe"; do
    [ -f "$exe" ] && printf '%-60s %s\n' "${exe#$win32/}" "$(stat -c %s "$exe")"
  done
fi
exit 0
