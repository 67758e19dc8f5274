#!/usr/bin/env bash
# End to end under Wine: zrUpdater.exe applies a five-entry manifest while the product is not
# running. Covered on the way: names with spaces and Chinese characters, an ampersand in a
# name, a ".bak" the updater did not make (left as it is), a new file in two new directories,
# a staged file on another drive letter (copied beside its target, the copy renamed in, the
# staged file deleted) and a path longer than 200 characters.
source "$2/tests/e2e/e2e_lib.sh"

install=$(e2e_installation success)
cache="$install/cache/update"
expected="$e2e_work/expected"
volume="$e2e_work/other volume"
mkdir -p "$expected" "$volume"
e2e_second_drive "$volume" || { e2e_fail "no free drive letter"; e2e_finish; }
drive=$e2e_drive_letter

long_dir="$install/deep/$(printf 'segment-%02d-目录 ' {1..12} | tr ' ' '_')"
long_file="$long_dir/long name 长文件名.dat"
targets=(
  "$install/a.dll"
  "$install/R&D 文件.txt"
  "$install/bin/core 核心.dll"
  "$install/新目录 one/子目录 two/plugin 插件.dll"
  "$long_file"
)
[ "$(printf '%s' "$(zr_winpath "$long_file")" | iconv -f UTF-8 -t UTF-16LE | wc -c)" -gt 400 ] ||
  { e2e_fail "the long path is not longer than 200 characters"; }

# Old product files (all but the new plugin), and someone's backup of a.dll.
for i in 0 1 2 4; do e2e_content "${targets[$i]}" $((3000 + i * 517)); done
e2e_content "$install/a.dll.bak" 123
cp "$install/a.dll.bak" "$expected/foreign"
staged=()
windows_args=()
for i in 0 1 2 3 4; do
  if [ "$i" = 2 ]; then
    file="$volume/staged $i.new"             # on the other drive
    windows_tmp="$drive\\staged $i.new"
  else
    file="$cache/staged $i 新.new"
    windows_tmp=$(zr_winpath "$file")
  fi
  e2e_content "$file" $((20000 + i * 7919))
  cp "$file" "$expected/$i"
  staged+=("$file")
  windows_args+=("$windows_tmp" "$(zr_winpath "${targets[$i]}")")
done
manifest="$e2e_work/update 清单.xml"
e2e_write_manifest "$manifest" 2.1.0 "${windows_args[@]}"

e2e_app=$install e2e_manifest=$manifest
e2e_start_updater
e2e_check "the updater ended by itself (no box)" e2e_updater_ends 60

for i in 0 1 2 3 4; do
  e2e_same "${targets[$i]}" "$expected/$i" "entry $((i + 1)) replaced"
  e2e_absent "${staged[$i]}" "entry $((i + 1)) staged file gone"
done
e2e_same "$install/a.dll.bak" "$expected/foreign" "a backup the updater did not make"
mv "$install/a.dll.bak" "$expected/foreign.seen"
e2e_no_leftovers_below "$install" "after success"
grep -qE 'copied from another volume 1\s*$' "$install/zrUpdater.log" || e2e_fail "the record says one file came from another volume"
[ -d "$cache" ] || e2e_fail "the update cache is kept after success"
[ -d "$install/新目录 one/子目录 two" ] || e2e_fail "the new directories exist"
e2e_pass "five entries in place, no backups left"
e2e_finish
