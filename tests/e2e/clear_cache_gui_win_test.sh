#!/usr/bin/env bash
# A failed update removes "cache\update\" below the updater's own directory, and nothing
# else: not the rest of "cache", not the product's files, not a manifest kept elsewhere.
set -uo pipefail
build=$1 source=$2
source "$source/scripts/wine-env.sh"
zr_gui_session "$build"

app=$zr_work/Zoria\ App
mkdir -p "$app/cache/update/nested" "$app/cache/other"
cp "$build/src/zrUpdater.exe" "$app/"
echo -n "old a" > "$app/a.dll"
echo -n "staged" > "$app/cache/update/nested/leftover.bin"
echo -n "keep" > "$app/cache/other/keep.txt"
echo -n "keep too" > "$app/cache/sibling.txt"
w=$(zr_winpath "$app")
# The staged file is missing, so the move into place fails after a.dll was backed up.
printf '<config><version>3.2.0</version><file><tmp>%s\\cache\\update\\missing.dll</tmp><path>%s\\a.dll</path></file></config>' \
  "$w" "$w" > "$zr_work/manifest.xml"

zr_wine "$app/zrUpdater.exe" /version 3.1.0 /config "$(zr_winpath "$zr_work/manifest.xml")" &
pid=$!; zr_pids+=("$pid")
zr_answer_box "$app/zrUpdater.log" only 60 ||
  zr_fail "no failure box with one button closed by it (${zr_box_shows:-none seen}, closed by ${zr_box_closed_by:-none})"
zr_wait_exit "$pid" 30 || zr_fail "the updater did not end after the failure box"

[ ! -e "$app/cache/update" ] || zr_fail "cache\\update is still there"
[ "$(cat "$app/cache/other/keep.txt")" = keep ] || zr_fail "cache\\other was touched"
[ "$(cat "$app/cache/sibling.txt")" = "keep too" ] || zr_fail "a file beside cache\\update was touched"
[ "$(cat "$app/a.dll")" = "old a" ] || zr_fail "a.dll was not restored"
[ ! -e "$app/a.dll.bak" ] || zr_fail "a.dll.bak was left behind"
[ -f "$zr_work/manifest.xml" ] || zr_fail "the manifest was removed"
echo "cache\\update removed, everything else intact (exit $ZR_EXIT_CODE)"
