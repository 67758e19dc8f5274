#!/usr/bin/env bash
# A directory link inside the update cache, or the folder to delete being a link itself, must
# be removed or left, never followed: the files it points at lie outside the cache.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cache/update" "$work/outside/sub"
echo -n "outside the cache" > "$work/outside/precious.txt"
echo -n "x" > "$work/outside/sub/also.txt"
echo -n "r" > "$work/cache/update/regular.txt"
ln -s "$work/outside" "$work/cache/update/link"
ln -s "$work/outside" "$work/linked update"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
ZR_LINK_TREE=$(winpath "$work/cache") ZR_LINK_OUTSIDE=$(winpath "$work/outside") \
  bash "$source/scripts/wine-run.sh" "$build/wineprefix" "$build/tests/test_util.exe" \
  --gtest_filter='DeleteDirectoryTreeLinks.*'
# Checked from the Linux side as well: the target and everything in it are intact.
[ "$(cat "$work/outside/precious.txt")" = "outside the cache" ]
[ -f "$work/outside/sub/also.txt" ]
[ ! -e "$work/cache/update/regular.txt" ]
echo "link tree: target intact"
