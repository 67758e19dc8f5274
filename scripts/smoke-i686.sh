#!/usr/bin/env bash
# One real run of the shipped 32-bit zrUpdater.exe (build/win32, Release), which this machine's
# kernel cannot execute: through qemu-user and Wine's 32-bit half, 100-200 times slower than the
# 64-bit build under Wine (a new prefix takes about half an hour). Not part of the tests.
#
#   bash scripts/smoke-i686.sh [--yes] [--keep-wine32] [win32|wow64|both]   (default: both)
#
#   win32  a 32-bit prefix: the i686 updater updates a small installation (three files) while
#          its product, the i686 stand-in, runs: the question box, the product closed, the
#          files replaced, the completion page (screenshot), the product started again.
#   wow64  the same in a 64-bit prefix with its 32-bit half, with the 64-bit stand-in as the
#          running product: does the 32-bit updater find it (the question box comes up) and
#          close it?
#
# It changes the machine, so run it where nobody else is testing:
#  - it adds the i386 architecture and installs qemu-user-static and wine32:i386. When the
#    archive is newer than the machine, wine32's i386 libraries need the same versions of
#    their amd64 twins, so apt upgrades those too (seen: 63 packages, libssl3, zlib1g, systemd,
#    libgnutls30 and glib among them): the script lists them and goes on only with --yes.
#  - while it runs, a binfmt_misc handler ("zr-smoke-i386") makes the kernel run every 32-bit
#    Linux program through qemu-i386-static, machine-wide. It is removed at the end however
#    the script ends; only kill -9 leaves it (then:
#    echo -1 > /proc/sys/fs/binfmt_misc/zr-smoke-i386).
#  - while wine32 is installed, the 64-bit Wine the tests use finds a 32-bit loader beside it:
#    a new 64-bit prefix then tries to set up its 32-bit half too. So wine32 and libwine:i386
#    are removed again at the end if this script installed them (unless --keep-wine32);
#    qemu-user-static and the upgraded libraries stay.
#
# Output: what each phase took, and screenshots in build/smoke-i686/<mode>/screenshots/smoke-i686/.
# Exit code 0 when every check of every mode passed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

yes=0 keep=0 modes=(win32 wow64)
for a in "$@"; do
  case "$a" in
    --yes) yes=1 ;;
    --keep-wine32) keep=1 ;;
    win32 | wow64) modes=("$a") ;;
    both) modes=(win32 wow64) ;;
    *) echo "usage: $0 [--yes] [--keep-wine32] [win32|wow64|both]" >&2; exit 2 ;;
  esac
done
[ "$(id -u)" = 0 ] || { echo "smoke-i686: run as root (it installs packages)" >&2; exit 2; }

log() { printf '[smoke %5ds] %s\n' "$SECONDS" "$*"; }

binfmt=/proc/sys/fs/binfmt_misc
handler=$binfmt/zr-smoke-i386
registered=0 installed_wine32=0 watchdog=
cleanup() {
  [ -z "$watchdog" ] || kill "$watchdog" 2>/dev/null
  if [ "$registered" = 1 ] && [ -e "$handler" ]; then
    echo -1 >"$handler" && log "binfmt handler removed"
  fi
  if [ "$installed_wine32" = 1 ] && [ "$keep" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq wine32:i386 libwine:i386 >/dev/null 2>&1 &&
      log "wine32 removed again"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- the builds -------------------------------------------------------------------------------
cd "$root"
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target zrUpdater stand_in_product report_server >/dev/null
if [[ " ${modes[*]} " == *" wow64 "* ]]; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target stand_in_product report_server >/dev/null
fi
log "built: $(stat -c %s build/win32/src/zrUpdater.exe) bytes of zrUpdater.exe"

# --- packages ---------------------------------------------------------------------------------
export DEBIAN_FRONTEND=noninteractive
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
   ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
  added_arch=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added_arch=1
  fi
  apt-get update -qq
  plan=$(apt-get -s install --no-install-recommends qemu-user-static wine32:i386)
  upgrades=$(sed -n 's/^Inst \([^ :]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 -> \3/p' <<<"$plan")
  if [ -n "$upgrades" ] && [ "$yes" = 0 ]; then
    echo "Installing wine32:i386 would also upgrade these amd64 packages:"
    printf '  %s\n' "$upgrades"
    echo "Run again with --yes to go on (on a machine where nobody is testing)."
    [ "$added_arch" = 1 ] && dpkg --remove-architecture i386
    exit 2
  fi
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || installed_wine32=1
  apt-get install -y -qq --no-install-recommends qemu-user-static wine32:i386 >/dev/null
  log "installed qemu-user-static and wine32:i386"
fi

# --- the emulator for 32-bit Linux programs ----------------------------------------------------
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$handler" ]; then
  printf '%s\n' ':zr-smoke-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    >"$binfmt/register"
  registered=1
fi
log "binfmt handler zr-smoke-i386 set"

# Under emulation a helper of Wine's prefix set-up sometimes crashes, and the crash handler
# (winedbg --auto) then waits forever, idle, while the set-up waits for it (seen: 28 minutes
# until it was ended by hand). A crash handler still there after a minute is ended and said.
(
  while sleep 15; do
    for pid in $(pgrep -f 'wine winedbg [-]-auto'); do
      age=$(ps -o etimes= -p "$pid" 2>/dev/null | tr -d ' ')
      what=$(ps -o args= -p "$pid" 2>/dev/null)
      if [ -n "$age" ] && [ "$age" -gt 60 ] && kill "$pid" 2>/dev/null; then
        log "ended a crash handler left waiting for ${age} s: $what"
      fi
    done
  done
) &
watchdog=$!

# --- one update per mode -----------------------------------------------------------------------
# mode_run MODE: a folder laid out like a build folder (what tests/e2e/e2e_lib.sh expects), with
# the i686 updater and the product of the mode's bitness; the window-test steps drive it.
mode_run() (
  set +e  # the window-test steps report failures themselves (e2e_check, e2e_fail)
  mode=$1
  layout=$root/build/smoke-i686/$mode
  product_build=win32
  export ZR_WINEARCH=win32 ZR_WINE_BIN=/usr/lib/wine/wine
  if [ "$mode" = wow64 ]; then
    product_build=win64
    export ZR_WINEARCH=win64 ZR_WINE_BIN=/usr/lib/wine/wine64
  fi
  mkdir -p "$layout/src" "$layout/tools/stand_in_product" "$layout/tools/report_server" "$layout/tools/skin_viewer"
  ln -sfn "$root/build/win32/src/zrUpdater.exe" "$layout/src/zrUpdater.exe"
  # The layouts of the updater's windows and boxes (where to click a control by its name) come
  # from the 32-bit build's skin viewer, which runs in either prefix.
  ln -sfn "$root/build/win32/tools/skin_viewer/skin_viewer.exe" "$layout/tools/skin_viewer/skin_viewer.exe"
  ln -sfn "$root/build/$product_build/tools/stand_in_product/zrCastrix.exe" \
    "$layout/tools/stand_in_product/zrCastrix.exe"
  ln -sfn "$root/build/$product_build/tools/report_server/report_server.exe" \
    "$layout/tools/report_server/report_server.exe"
  unset DISPLAY
  export ZR_UI_PATIENCE=30  # up to half an hour for a program to come up
  # Each new Wine server starts the menu builder, a minute or more under emulation: not needed.
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  started=$SECONDS
  phase() { log "$mode: $* ($((SECONDS - started)) s)"; started=$SECONDS; }

  log "$mode: preparing the Wine prefix (the first time takes long)"
  source "$root/tests/e2e/e2e_lib.sh" "$layout" "$root"
  phase "prefix ready"

  e2e_install smoke 3
  e2e_start_product --quit-on-request || e2e_finish
  phase "product ($product_build stand-in) running"
  e2e_run_updater || e2e_finish
  phase "updater window up"
  # Under emulation the window is mapped seconds before its first frame: wait for that frame.
  for _ in $(seq 60); do
    e2e_shot "$mode-progress"
    eval "$(xdotool getwindowgeometry --shell "$e2e_main")"
    lit=$(convert "$e2e_shots/$mode-progress.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" \
      -format '%[fx:maxima]' info: 2>/dev/null)
    [ "$lit" = 0 ] || break
    sleep 1
  done
  if e2e_box $((60 * ZR_UI_PATIENCE)); then
    phase "question box up: the updater found the running product"
    e2e_shot "$mode-question"
    e2e_answer_box first $((60 * ZR_UI_PATIENCE))
    e2e_check "the product quits on the updater's request" zr_wait_exit "$e2e_product_pid" 600
    phase "product closed"
  else
    e2e_fail "no question box: the updater did not find the running $product_build product"
  fi
  if e2e_wait_completion_page $((60 * ZR_UI_PATIENCE)); then
    phase "completion page"
    e2e_shot "$mode-completion-page"
    log "$mode: screenshot $e2e_shots/$mode-completion-page.png"
  else
    e2e_fail "no completion page"
    e2e_shot "$mode-no-completion-page"
  fi
  e2e_check "every file holds its new content" e2e_files_are new
  e2e_check "no backup or parked file is left" e2e_no_leftovers
  e2e_check "the updater ends after the completion page" e2e_updater_ends $((60 * ZR_UI_PATIENCE))
  phase "updater ended"
  end=$((SECONDS + 60 * ZR_UI_PATIENCE))
  until [ "$(e2e_product_windows)" -ge 1 ] || [ $SECONDS -ge $end ]; do sleep 1; done
  e2e_check "the product runs again" [ "$(e2e_product_windows)" -ge 1 ]
  phase "product started again"
  e2e_finish
)

status=0
for mode in "${modes[@]}"; do
  mode_run "$mode" || status=1
done
log "done (exit $status)"
exit $status
