#!/usr/bin/env bash
# Two real updaters in two folders: the second tells the first to quit, waits until it has
# ended and carries on. Each updater's record says when its box is up.
set -uo pipefail
build=$1 source=$2
source "$source/scripts/wine-env.sh"
zr_gui_session "$build"

mkdir -p "$zr_work/first" "$zr_work/second"
cp "$build/src/zrUpdater.exe" "$zr_work/first/"
cp "$build/src/zrUpdater.exe" "$zr_work/second/"
missing=$(zr_winpath "$zr_work/missing.xml")

# Without a usable manifest each updater stays open on its retry box.
zr_wine "$zr_work/first/zrUpdater.exe" /config "$missing" &
first=$!; zr_pids+=("$first")
zr_box "$zr_work/first/zrUpdater.log" 60 || zr_fail "the first updater shows no box"
[ "$(zr_windows '^Zoria投屏助手更新程序$' | wc -l)" = 1 ] || zr_fail "expected one updater window"

zr_wine "$zr_work/second/zrUpdater.exe" /config "$missing" &
second=$!; zr_pids+=("$second")
zr_wait_exit "$first" 20 || zr_fail "the first updater did not leave its loop"
[ "$ZR_EXIT_CODE" = 0 ] || zr_fail "the first updater exited with $ZR_EXIT_CODE"
echo "first updater left its loop (exit 0)"

# The second carries on: its own window and box are there, and it is still running.
zr_box "$zr_work/second/zrUpdater.log" 60 || zr_fail "the second updater shows no box"
kill -0 "$second" 2>/dev/null || zr_fail "the second updater ended"
[ "$(zr_windows '^Zoria投屏助手更新程序$' | wc -l)" = 1 ] || zr_fail "expected one updater window"
echo "second updater carried on"
