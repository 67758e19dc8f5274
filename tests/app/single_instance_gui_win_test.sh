#!/usr/bin/env bash
# Two real updaters in two folders: the second tells the first to quit, waits until it has
# ended and carries on.
set -uo pipefail
build=$1 source=$2
source "$source/scripts/wine-env.sh"
zr_wine_init "$build/wineprefix"
zr_display_up
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"; }
trap 'cleanup; zr_display_down' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/first" "$work/second"
cp "$build/src/zrUpdater.exe" "$work/first/"
cp "$build/src/zrUpdater.exe" "$work/second/"
missing=$(zr_winpath "$work/missing.xml")

# Windows of the test that used this prefix and display before may still be going away.
end=$((SECONDS + 20))
while xdotool search --onlyvisible --name '^(更新|MessageBox|Zoria投屏助手更新程序)$' 2>/dev/null | grep -q .; do
  [ $SECONDS -lt $end ] || fail "windows of an earlier test stay on the display"
  sleep 0.2
done

# Without a usable manifest each updater stays open on its retry box.
zr_wine "$work/first/zrUpdater.exe" /config "$missing" &
first=$!; pids+=("$first")
zr_wait_window '更新' 30 >/dev/null || fail "the first updater shows no box"
[ "$(xdotool search --onlyvisible --name '^Zoria投屏助手更新程序$' | wc -l)" = 1 ] || fail "expected one updater window"

zr_wine "$work/second/zrUpdater.exe" /config "$missing" &
second=$!; pids+=("$second")
zr_wait_exit "$first" 20 || fail "the first updater did not leave its loop"
[ "$ZR_EXIT_CODE" = 0 ] || fail "the first updater exited with $ZR_EXIT_CODE"
echo "first updater left its loop (exit 0)"

# The second carries on: its own window and box are there, and it is still running.
sleep 1
zr_wait_window '更新' 20 >/dev/null || fail "the second updater shows no box"
kill -0 "$second" 2>/dev/null || fail "the second updater ended"
[ "$(xdotool search --onlyvisible --name '^Zoria投屏助手更新程序$' | wc -l)" = 1 ] || fail "expected one updater window"
echo "second updater carried on"
