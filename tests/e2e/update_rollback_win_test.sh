#!/usr/bin/env bash
# End to end under Wine: the third of five entries cannot be moved aside because a program
# holds it open without delete sharing (the stand-in product, running from another directory,
# which the updater must leave alone). The updater shows its failure box, rolls back, removes
# the update cache and ends; every product file is back byte for byte, and the folder made for
# the created file is gone again.
source "$2/tests/e2e/e2e_lib.sh"

install=$(e2e_installation rollback)
cache="$install/cache/update"
originals="$e2e_work/originals"
mkdir -p "$originals"

targets=(
  "$install/first 一.dll"
  "$install/新插件/second.dll"
  "$install/third 三 held.dll"
  "$install/fourth.dll"
  "$install/fifth 五.dll"
)
windows_args=()
for i in 0 1 2 3 4; do
  if [ "$i" != 1 ]; then  # the second entry is a new file
    e2e_content "${targets[$i]}" $((4000 + i * 611))
    cp "${targets[$i]}" "$originals/$i"
  fi
  e2e_content "$cache/$i.new" $((9000 + i * 101))
  windows_args+=("$(zr_winpath "$cache/$i.new")" "$(zr_winpath "${targets[$i]}")")
done
manifest="$e2e_work/manifest.xml"
e2e_write_manifest "$manifest" 3.0.0 "${windows_args[@]}"

# The holder: the stand-in product, but from another directory, so not the product.
e2e_start_stand_in "$e2e_work/elsewhere" --quit-on-request --hold "$(zr_winpath "${targets[2]}")"
holder=$e2e_stand_in_pid

e2e_app=$install e2e_manifest=$manifest
e2e_start_updater
e2e_answer_box first && e2e_pass "the failure box was shown and confirmed"
e2e_check "the updater ended after the failure" e2e_updater_ends 60

for i in 0 2 3 4; do e2e_same "${targets[$i]}" "$originals/$i" "entry $((i + 1)) restored"; done
e2e_absent "${targets[1]}" "the created file is removed"
# Its directory was made on the way and is gone again.
e2e_absent "$install/新插件" "the folder made for the created file"
e2e_no_leftovers_below "$install" "after rollback"
e2e_absent "$cache" "the update cache is removed"
e2e_alive "$holder" "the program in another directory is left alone"
e2e_pass "files restored, cache removed"
e2e_finish
