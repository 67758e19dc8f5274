#!/usr/bin/env bash
# End to end under Wine: how zrUpdater.exe deals with the running product, played by the real
# stand-in product ("zrCastrix.exe" beside the updater unless said otherwise). Each scenario
# has an installation of its own with one file to replace.
#   not running            no question, the file is replaced
#   quits on request       the question is confirmed, the product ends by itself (status 0)
#   ignores the request    the question is confirmed, the product is terminated (it ends
#                          without passing any exit of its own) and the file is replaced
#   another directory      a product copy elsewhere is not asked, not ended, and the update runs
#   cancel                 the question is declined: the updater quits, product and file stay
#   a long path            updater and product in a folder past 300 characters: the product is
#                          asked about and ends on request, the file is replaced
#   another drive letter   the updater started through a second drive letter for the folder
#                          the product runs from: the same
#   Program Files          the installation in "C:\Program Files" (or "C:\Program Files (x86)"),
#                          a twin in the other folder, both products running: the updater,
#                          given C: paths on its command line, closes its own product alone and
#                          replaces its own file alone (a 32-bit process on 64-bit Windows has
#                          the x86 folder as %ProgramFiles%, but no path it is given redirected)
#
# Parts: closed left paths program-files
source "$2/tests/e2e/e2e_lib.sh"

# scenario NAME [FOLDER]: an installation (in FOLDER below $e2e_work/NAME) with one old file and
# its staged replacement, the one the updater is started for.
scenario() {
  install=$(e2e_installation "$@")
  target="$install/product 文件.dll"
  e2e_content "$target" 5000
  cp "$target" "$e2e_work/$1.old"
  e2e_content "$install/cache/update/new.bin" 7000
  cp "$install/cache/update/new.bin" "$e2e_work/$1.new"
  manifest="$e2e_work/$1.xml"
  e2e_write_manifest "$manifest" 4.0.0 "$(zr_winpath "$install/cache/update/new.bin")" "$(zr_winpath "$target")"
  e2e_app=$install e2e_manifest=$manifest
}

# product_then_updater OPTION [DIR]: the stand-in product started with OPTION from DIR (by default
# the installation), then the updater.
product_then_updater() {
  e2e_start_stand_in "${2:-$install}" "$1"
  product=$e2e_stand_in_pid
  e2e_start_updater
}

# closed NAME: the scenario's product, started as it asks, is asked about and ends on request;
# the file is replaced.
closed() {
  e2e_answer_box first
  e2e_ended "$product" 0 "$1"
  e2e_check "$1: the updater ends" e2e_updater_ends 60
  e2e_same "$target" "$e2e_work/$1.new" "$1"
}

closed_on_request() {
  scenario quits
  product_then_updater --quit-on-request
  closed quits
  e2e_pass "quits on request: ended by itself, file replaced"

  scenario stubborn
  product_then_updater --ignore-quit
  e2e_answer_box first
  e2e_ended "$product" terminated "ignores the request"
  e2e_check "the record says it was terminated" grep -q ' terminating the product (process ' "$install/zrUpdater.log"
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_same "$target" "$e2e_work/stubborn.new" "ignores the request"
  e2e_pass "ignores the request: terminated, file replaced"
}

left_alone() {
  scenario not-running
  e2e_start_updater
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_same "$target" "$e2e_work/not-running.new" "not running"
  e2e_pass "not running: replaced without a question"

  scenario elsewhere
  product_then_updater --ignore-quit "$e2e_work/elsewhere/其他 目录"
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_same "$target" "$e2e_work/elsewhere.new" "another directory"
  e2e_alive "$product" "another directory"
  e2e_stop_stand_in
  e2e_pass "another directory: left alone, file replaced"

  scenario cancel
  product_then_updater --quit-on-request
  e2e_answer_box second
  e2e_check "the updater ends" e2e_updater_ends 60
  e2e_same "$target" "$e2e_work/cancel.old" "cancel"
  e2e_alive "$product" "cancel"
  e2e_no_leftovers_below "$install" "cancel"
  e2e_pass "cancel: the updater quit, product and file untouched"
}

other_paths() {
  folder="Zoria 投屏 长路径"
  while [ ${#folder} -lt 290 ]; do folder+="/segment 目录 ${#folder}"; done
  scenario long "$folder"
  exe_path=$(zr_winpath "$install/zrCastrix.exe")
  e2e_check "the product's path is past 300 characters (${#exe_path})" [ ${#exe_path} -gt 300 ]
  product_then_updater --quit-on-request
  closed long
  e2e_pass "a long path: asked about, ended, file replaced"

  # Wine names a program started from a Unix path after the drive that reaches it most directly
  # at its start: the drive letter comes after the product's start, so that the product runs as
  # Z:\... and the updater as the other letter.
  scenario other-drive
  e2e_start_stand_in "$install" --quit-on-request
  product=$e2e_stand_in_pid
  e2e_second_drive "$e2e_work/other-drive" || e2e_fail "no free drive letter"
  # The manifest names the installation as the updater is started: through the other letter.
  e2e_write_manifest "$manifest" 4.0.0 "$e2e_drive_letter\\Zoria 投屏 other-drive\\cache\\update\\new.bin" \
    "$e2e_drive_letter\\Zoria 投屏 other-drive\\product 文件.dll"
  e2e_updater_path="$e2e_drive_letter\\Zoria 投屏 other-drive\\zrUpdater.exe" e2e_start_updater
  closed other-drive
  e2e_pass "another drive letter: asked about, ended, file replaced"
}

# c_path PATH: the C: form of a path below the prefix's drive_c.
c_path() { local p=${1#"$ZR_WINEPREFIX/drive_c"}; printf 'C:%s\n' "${p//\//\\}"; }

# program_files FOLDER TWIN: the installation in C:\FOLDER, its twin in C:\TWIN; the twin's
# product runs without a window, so that the question and the quit request can only reach one.
program_files() {
  local own="$ZR_WINEPREFIX/drive_c/$1/Zoria 投屏" twin="$ZR_WINEPREFIX/drive_c/$2/Zoria 投屏" dir
  for dir in "$own" "$twin"; do
    rm -rf "$dir"
    mkdir -p "$dir/cache/update"
    cp "$e2e_updater" "$dir/zrUpdater.exe"
    e2e_content "$dir/product.dll" 5000
    e2e_content "$dir/cache/update/product.dll" 7000
    e2e_write_manifest "$dir/update.xml" 4.0.0 "$(c_path "$dir/cache/update/product.dll")" \
      "$(c_path "$dir/product.dll")"
  done
  cp "$own/cache/update/product.dll" "$e2e_work/program-files.new"
  cp "$twin/product.dll" "$e2e_work/program-files-twin.old"
  e2e_start_stand_in "$twin" --no-window
  local twin_product=$e2e_stand_in_pid twin_stop=$e2e_stand_in_stop
  e2e_start_stand_in "$own" --quit-on-request
  product=$e2e_stand_in_pid
  env WINEPREFIX="$ZR_WINEPREFIX" "$(zr_wine_loader "$own/zrUpdater.exe")" "$(c_path "$own")\zrUpdater.exe" \
    /config "$(c_path "$own")\update.xml" /version 3.1.0 >/dev/null 2>&1 &
  e2e_updater_pid=$!
  e2e_pids+=("$e2e_updater_pid")
  e2e_app=$own  # whose record says what its box shows
  e2e_answer_box first
  e2e_ended "$product" 0 "C:\\$1: its product"
  e2e_check "C:\\$1: the updater ends" e2e_updater_ends 60
  e2e_same "$own/product.dll" "$e2e_work/program-files.new" "C:\\$1: its file"
  e2e_same "$twin/product.dll" "$e2e_work/program-files-twin.old" "C:\\$2: the twin's file"
  e2e_alive "$twin_product" "C:\\$2: the twin's product"
  e2e_stand_in_pid=$twin_product e2e_stand_in_stop=$twin_stop
  e2e_stop_stand_in
  zr_wineserver -k >/dev/null 2>&1  # the product the updater started again
  rm -rf "$own" "$twin"
  e2e_pass "C:\\$1: its own product closed and file replaced, the twin in C:\\$2 untouched"
}
e2e_part closed && closed_on_request
e2e_part left && left_alone
e2e_part paths && other_paths
if e2e_part program-files; then
  program_files "Program Files" "Program Files (x86)"
  program_files "Program Files (x86)" "Program Files"
fi

e2e_finish
