#!/usr/bin/env bash
# The main job: builds the program and runs the real, skinned zrUpdater.exe under Wine against
# a demo installation laid out in build/demo, with the stand-in product running, and saves
# screenshots of its pages and boxes to build/demo/screenshots/:
#
#   1-question.png        the question box: the product is running
#   2-progress.png        the progress page while the files are replaced
#   3-completed.png       the completion page; the product is started three seconds later
#   4-manifest-box.png    the box with the web site link and "重试": an unusable manifest
#   5-failure-box.png     the box with the web site link alone: a product file is locked,
#                         the update is rolled back and one report goes to a loopback server
#   1-question-150.png, 2-progress-150.png, 3-completed-150.png
#                         the first update once more on a display at 150 % (a prefix of its
#                         own whose LogPixels is 144): the same windows, drawn at 1.5 times
#                         the size with fonts and pictures made for it
#
# Every box is answered the way a user would, with a real mouse click on its button, found by
# name (zr_answer_box: the box says in the updater's record what it shows).
#
# On a new machine it sets up only what it uses (scripts/setup.sh demo: the win64 build, Wine,
# Xvfb, the fonts, the screenshot tools); scripts/test.sh sets up the rest.
#
# ZR_DEMO_BUILD=<win64 build folder> uses that build (already configured) instead of the
# preset's build/win64.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build=${ZR_DEMO_BUILD:-build/win64}
if [ -z "${ZR_DEMO_BUILD:-}" ]; then
  bash scripts/setup.sh demo
  cmake --preset win64 >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target zrUpdater stand_in_product report_server skin_viewer >/dev/null
build=$(cd "$build" && pwd)

source scripts/wine-env.sh
export LANG=C.UTF-8
zr_wine_init "$build/wineprefix-demo"
zr_display_up
zr_updater="$build/src/zrUpdater.exe"  # whose skin package the clicks are placed by

demo=$root/build/demo
app=$demo/Zoria投屏助手
shots=$demo/screenshots
rm -rf "$demo"
mkdir -p "$shots"
w=$(zr_winpath "$app")

# The installation of 3.1.0 and the staged files of 3.2.0, laid out afresh.
lay_out_installation() {
rm -rf "$app"
mkdir -p "$app/plugins" "$app/resources" "$app/cache/update/plugins" "$app/cache/update/skins/dark" \
  "$app/cache/update/resources"
cp "$build/src/zrUpdater.exe" "$build/tools/stand_in_product/zrCastrix.exe" "$app/"

# The installed version 3.1.0 ...
echo "core 3.1.0" > "$app/core.dll"
echo "mirror plugin 3.1.0" > "$app/plugins/mirror.dll"
echo "a backup the user made by hand" > "$app/core.dll.bak"   # not the updater's: left as it is
# ... and what the product staged for 3.2.0: new files in two new directories, and enough
# resources that the progress page stays up for a while.
echo "core 3.2.0" > "$app/cache/update/core.dll"
echo "mirror plugin 3.2.0" > "$app/cache/update/plugins/mirror.dll"
echo "dark skin, new in 3.2.0" > "$app/cache/update/skins/dark/theme.xml"
{
  cat <<XML
<?xml version="1.0" encoding="UTF-8"?>
<config>
  <version>3.2.0</version>
  <file><url>https://example.invalid/core.dll</url><md5>0</md5>
    <tmp>$w\\cache\\update\\core.dll</tmp><path>$w\\core.dll</path></file>
  <file><tmp>$w\\cache\\update\\plugins\\mirror.dll</tmp><path>$w\\plugins\\mirror.dll</path></file>
  <file><tmp>$w\\cache\\update\\skins\\dark\\theme.xml</tmp><path>$w\\skins\\dark\\theme.xml</path></file>
XML
  for i in $(seq -w 1 1500); do
    echo "resource $i of 3.1.0" > "$app/resources/res$i.dat"
    echo "resource $i of 3.2.0" > "$app/cache/update/resources/res$i.dat"
    echo "  <file><tmp>$w\\cache\\update\\resources\\res$i.dat</tmp><path>$w\\resources\\res$i.dat</path></file>"
  done
  echo "</config>"
} > "$demo/update.xml"
}
lay_out_installation

show_tree() {
  (cd "$app" && find . -type f ! -name '*.exe' ! -path './resources/*' ! -path './cache/update/resources/*' | sort |
    while read -r f; do printf '  %-34s %s\n' "$f" "$(head -c 40 "$f")"; done)
  printf '  %-34s %s\n' "./resources/res0001.dat" "$(cat "$app/resources/res0001.dat") (and 1499 more)"
}

# scaled N: N pixels of the skin documents on the display at `percent` (100 or 150), rounded to
# the nearest pixel as the skin engine places its controls.
percent=100
scaled() { echo $(( ($1 * percent + 50) / 100 )); }

# shot NAME: the main window's area with its shadow (boxes are centred on it), at the display's
# scale, named NAME or NAME-<percent> above 100 %.
main_x=338 main_y=188
shot() {
  local name=$1 size
  [ "$percent" = 100 ] || name=$1-$percent
  size="$(scaled 604)x$(scaled 424)"
  import -window root -crop "$size+$main_x+$main_y" +repage "$shots/$name.png"
}
main_window() {
  local id
  id=$(zr_wait_window 'Zoria投屏助手更新程序' 30) || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  main_x=$((X - $(scaled 12))) main_y=$((Y - $(scaled 12)))
  printf '%s\n' "$id"
}
run_updater() {  # run_updater MANIFEST [ENV=VALUE...]: sets updater
  local manifest=$1
  shift
  env "$@" WINEPREFIX="$ZR_WINEPREFIX" "$ZR_WINE_BIN" "$app/zrUpdater.exe" \
    /version 3.1.0 /config "$(zr_winpath "$manifest")" >/dev/null 2>&1 &
  updater=$!
}

echo "Installation before the update:"; show_tree

# --- 1. the update: the product is running, so the updater asks first ------------------------
update_with_question() {
rm -f "$demo/product.pid"
zr_wine "$app/zrCastrix.exe" --quit-on-request --ready "$(zr_winpath "$demo/product.pid")" >/dev/null 2>&1 &
for _ in $(seq 1 100); do [ -f "$demo/product.pid" ] && break; sleep 0.1; done
run_updater "$demo/update.xml"
main_window >/dev/null
if zr_wait_window '更新' 30 >/dev/null; then
  sleep 0.7
  shot 1-question
  zr_answer_box "$app/zrUpdater.log" first   # "更新": close the product and go on
fi
until ls "$app/resources" | grep -q '\.bak$'; do sleep 0.1; done
sleep 1
shot 2-progress
for _ in $(seq 1 600); do
  [ -z "$(ls "$app/cache/update/resources" 2>/dev/null)" ] && break
  sleep 0.1
done
sleep 0.8
shot 3-completed
zr_wait_exit "$updater" 60 || echo "the updater did not end in time"
echo "zrUpdater.exe ended with exit code ${ZR_EXIT_CODE:-?}; the product was started again:"
sleep 1
xdotool search --onlyvisible --name '^Zoria投屏助手$' >/dev/null && echo "  product window is up"
}
update_with_question
echo "Installation after the update:"; show_tree
echo "core.dll.bak was there before and is not the updater's: it is left as it was (the update's own"
echo "backup of core.dll took the free name core.dll.2.bak and is gone again)."
zr_wineserver -k 2>/dev/null || true

# --- 2. an unusable manifest: the box offers a retry --------------------------------------
printf '<config><version>3.3.0' > "$demo/broken.xml"
run_updater "$demo/broken.xml"
main_window >/dev/null
if zr_wait_window '更新' 30 >/dev/null; then
  sleep 0.7
  shot 4-manifest-box
  zr_answer_box "$app/zrUpdater.log" second  # "确定": give up
fi
zr_wait_exit "$updater" 30 || echo "the updater did not end in time"

# --- 3. a locked file: rollback and one report --------------------------------------------
echo "mirror plugin 3.3.0" > "$app/cache/update/plugins/mirror.dll"
echo "core 3.3.0" > "$app/cache/update/core.dll"
cat > "$demo/locked.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<config><version>3.3.0</version>
  <file><tmp>$w\\cache\\update\\core.dll</tmp><path>$w\\core.dll</path></file>
  <file><tmp>$w\\cache\\update\\plugins\\mirror.dll</tmp><path>$w\\plugins\\mirror.dll</path></file>
</config>
XML
mkdir -p "$demo/locker" "$demo/reports"
cp "$app/zrCastrix.exe" "$demo/locker/zrCastrix.exe"
zr_wine "$demo/locker/zrCastrix.exe" --no-window --hold "$(zr_winpath "$app/plugins/mirror.dll")" \
  --ready "$(zr_winpath "$demo/locker/ready")" >/dev/null 2>&1 &
zr_wine "$build/tools/report_server/report_server.exe" "$(zr_winpath "$demo/reports")" \
  "$(zr_winpath "$demo/port")" 200 120 >/dev/null 2>&1 &
for _ in $(seq 1 200); do [ -s "$demo/port" ] && [ -s "$demo/locker/ready" ] && break; sleep 0.1; done
run_updater "$demo/locked.xml" "http_proxy=http://127.0.0.1:$(cat "$demo/port")"
main_window >/dev/null
if zr_wait_window '更新' 30 >/dev/null; then
  sleep 0.7
  shot 5-failure-box
  zr_answer_box "$app/zrUpdater.log" only
fi
zr_wait_exit "$updater" 60 || echo "the updater did not end in time"
echo "After the failed update to 3.3.0 (rolled back, cache removed):"; show_tree
echo "Reports received: $(ls "$demo/reports"/*.head 2>/dev/null | wc -l)"
zr_wineserver -k 2>/dev/null || true

# --- 4. the first update again, on a display at 150 % --------------------------------------
zr_wine_fresh "$build/wineprefix-demo-150"
zr_wine_logpixels 144
percent=150
lay_out_installation
echo "The same update at 150 % (LogPixels 144):"
update_with_question
zr_wineserver -k 2>/dev/null || true
echo "Screenshots: $shots"
