#!/usr/bin/env bash
# The main job: builds the program and runs zrUpdater.exe under Wine against a demo
# installation laid out in build/demo, with the stand-in product running, and saves
# screenshots of what the window shows to build/demo/screenshots/.
#
# The demo answers the updater's question ("更新": close the running product) the way a user
# would, with a real mouse click, and shows the installation before and after.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target zrUpdater stand_in_product >/dev/null

source scripts/wine-env.sh
zr_wine_init "$root/build/win64/wineprefix"
zr_display_up

demo=$root/build/demo
app=$demo/Zoria投屏助手
shots=$demo/screenshots
rm -rf "$demo"
mkdir -p "$app/plugins" "$app/cache/update/plugins" "$app/cache/update/skins/dark" "$shots"
cp build/win64/src/zrUpdater.exe build/win64/tools/stand_in_product/zrCastrix.exe "$app/"

# The installed version 3.1.0 ...
echo "core 3.1.0" > "$app/core.dll"
echo "mirror plugin 3.1.0" > "$app/plugins/mirror.dll"
echo "stale backup from an earlier run" > "$app/core.dll.bak"
# ... and what the product staged for 3.2.0, with a new file in two new directories.
echo "core 3.2.0" > "$app/cache/update/core.dll"
echo "mirror plugin 3.2.0" > "$app/cache/update/plugins/mirror.dll"
echo "dark skin, new in 3.2.0" > "$app/cache/update/skins/dark/theme.xml"
w=$(zr_winpath "$app")
cat > "$demo/update.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<config>
  <version>3.2.0</version>
  <file><url>https://example.invalid/core.dll</url><md5>0</md5>
    <tmp>$w\\cache\\update\\core.dll</tmp><path>$w\\core.dll</path></file>
  <file><tmp>$w\\cache\\update\\plugins\\mirror.dll</tmp><path>$w\\plugins\\mirror.dll</path></file>
  <file><tmp>$w\\cache\\update\\skins\\dark\\theme.xml</tmp><path>$w\\skins\\dark\\theme.xml</path></file>
</config>
XML

show_tree() { (cd "$app" && find . -type f ! -name '*.exe' | sort | while read -r f; do printf '  %-32s %s\n' "$f" "$(head -c 40 "$f")"; done); }
echo "Installation before the update:"; show_tree

# The product is running: the updater has to close it first.
zr_wine "$app/zrCastrix.exe" --quit-on-request --ready "$(zr_winpath "$demo/product.pid")" &
for _ in $(seq 1 100); do [ -f "$demo/product.pid" ] && break; sleep 0.1; done

zr_wine "$app/zrUpdater.exe" /version 3.1.0 /config "$(zr_winpath "$demo/update.xml")" &
updater=$!
if zr_wait_window '更新' 30 >/dev/null; then
  sleep 0.5
  import -window root "$shots/1-question.png"
  zr_answer_box '更新' first
fi
zr_wait_exit "$updater" 60 || echo "the updater did not end in time"
echo "zrUpdater.exe ended with exit code ${ZR_EXIT_CODE:-?}"
import -window root "$shots/2-after.png"

echo "Installation after the update:"; show_tree
echo "Screenshots: $shots"
zr_wineserver -k 2>/dev/null || true
