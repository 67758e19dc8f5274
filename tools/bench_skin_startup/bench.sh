#!/usr/bin/env bash
# Start-up benchmark of the skin engine. Prints figures; asserts nothing.
#
#   bench.sh WIN64_BUILD [WIN32_BUILD] [RUNS]
#
# - time from process start to the first painted frame of the main window ("wnd_main.xml"
#   in skin_viewer, which reads the package from its own resource as the updater does),
#   against plain_window, a minimal Win32 program that opens a plain 580 x 400 window;
# - peak working set of each with its window shown;
# - sizes of the i686 Release executables (the shipped zrUpdater.exe, and skin_viewer.exe,
#   which holds the whole engine), when a win32 build folder is given.
# Both programs run under Wine on a private Xvfb; RUNS (default 10) runs each, alternating.
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

work=$(mktemp -d)
zr_wine_init "$build/wineprefix"
fifo="$work/fd"; mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$fifo"
export DISPLAY=":$number"
trap 'zr_wineserver -k >/dev/null 2>&1; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
zr_wineserver -p >/dev/null 2>&1  # keep the server up between runs, as in a desktop session

# Warm-up runs (first start of the prefix and the font cache), not counted.
zr_wine "$viewer" --bench --log "$(zr_winpath "$work/warm.log")" wnd_main.xml >/dev/null 2>&1
zr_wine "$plain" --log "$(zr_winpath "$work/warm.log")" >/dev/null 2>&1

for i in $(seq 1 "$runs"); do
  zr_wine "$viewer" --bench --log "$(zr_winpath "$work/skin.log")" wnd_main.xml >/dev/null 2>&1
  zr_wine "$plain" --log "$(zr_winpath "$work/plain.log")" >/dev/null 2>&1
done

# stats FILE KEY: "median min max" of the KEY lines' values
stats() {
  grep "^$2 " "$1" | awk '{print $2}' | sort -n | awk '
    { v[NR] = $1 } END {
      if (NR == 0) { print "n/a"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "median %.1f  min %.1f  max %.1f  (n=%d)", m, v[1], v[NR], NR }'
}

echo "== start-up to first painted frame (ms, under Wine) =="
echo "skin engine, wnd_main.xml : $(stats "$work/skin.log" frame-ms)"
echo "plain Win32 window        : $(stats "$work/plain.log" frame-ms)"
echo "skin engine phases (median): $(grep '^phases-ms' "$work/skin.log" | awk '{print $3, $5, $7}' |
  sort -n -k3 | awk '{a[NR]=$0} END {split(a[int((NR+1)/2)], f, " ");
  printf "wWinMain at %.1f, window built at %.1f, first frame at %.1f", f[1], f[2], f[3]}')"
echo "== peak working set with the window shown (KB) =="
echo "skin engine, wnd_main.xml : $(stats "$work/skin.log" peak-kb)"
echo "plain Win32 window        : $(stats "$work/plain.log" peak-kb)"
if [ -n "$win32" ]; then
  echo "== i686 Release executables (bytes) =="
  for exe in "$win32/zrUpdater.exe" "$win32/src/zrUpdater.exe" "$win32/tools/skin_viewer/skin_viewer.exe"; do
    [ -f "$exe" ] && printf '%-60s %s\n' "${exe#$win32/}" "$(stat -c %s "$exe")"
  done
fi
