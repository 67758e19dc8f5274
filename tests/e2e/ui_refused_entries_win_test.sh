#!/usr/bin/env bash
# Manifests that name what the updater must not touch, with the real exe: a staged file named
# like its target's backup, an empty or relative target, a target whose text holds a line
# break and a journal line, a target outside the installation or reached through a link, a
# target spelt as the short (8.3) name the journal or a backup will have once the run makes it,
# a staged file one byte short of its md5, a staged file another program holds. Each fails (the
# failure box) before the running product is asked anything: every product file and every file
# outside the installation stays byte for byte as it was, the product runs on, and the
# updater's record names the entry and why.
#
#   ui_refused_entries_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: names places
source "$2/tests/e2e/e2e_lib.sh"

offline="http_proxy=http://127.0.0.1:9"  # the usage report goes nowhere

# snapshot DIR: every file below DIR but the download cache (which a failed update removes) and
# the updater's lock file and record, with its checksum.
snapshot() {
  (cd "$1" && find . -path ./cache -prune -o -type f ! -name zrUpdater.lock ! -name 'zrUpdater.log*' -print0 |
    sort -z | xargs -0 sha1sum)
}

# refused NAME TMP PATH [MD5 [WHY]]: a manifest whose second of three entries is TMP -> PATH
# (raw XML text), with MD5; the record's refusal says WHY (grep -E), when given. With
# refused_hold set, another program holds the entry's staged file meanwhile.
refused() {
  local name=$1 tmp=$2 path=$3 md5=${4:-} why=${5:-}
  e2e_install "refused-$name" 3
  local w
  w=$(zr_winpath "$e2e_app")
  printf 'new 2' >"$e2e_app/data/f2.txt.bak"
  {
    printf '<config><version>3.2.0</version>\n'
    printf '<file><tmp>%s</tmp><path>%s</path></file>\n' "$w\\cache\\update\\data\\f1.txt" "$w\\data\\f1.txt"
    printf '<file><md5>%s</md5><tmp>%s</tmp><path>%s</path></file>\n' "$md5" "$tmp" "$path"
    printf '<file><tmp>%s</tmp><path>%s</path></file>\n' "$w\\cache\\update\\data\\f3.txt" "$w\\data\\f3.txt"
    printf '</config>\n'
  } >"$e2e_manifest"
  e2e_start_product || return
  if [ -n "${refused_hold:-}" ]; then e2e_hold "$e2e_app/cache/update/data/f2.txt" || return; fi
  local before outside
  before=$(snapshot "$e2e_app")
  outside=$(snapshot "$e2e_work/outside")
  e2e_run_updater "$offline" || return
  if e2e_box 60; then
    e2e_check "$name: the product is not asked to close" [ "$(e2e_product_windows)" = 1 ]
    e2e_answer_box only
    e2e_check "$name: the updater ends" e2e_updater_ends 60
    e2e_check "$name: the installation is as it was" [ "$(snapshot "$e2e_app")" = "$before" ]
    e2e_check "$name: nothing outside it changed" [ "$(snapshot "$e2e_work/outside")" = "$outside" ]
    e2e_alive "$e2e_product_pid" "$name: the product runs on"
    e2e_check "$name: the record names the refused entry" grep -qE "^[-0-9: .]* entry 2/3 .*: refused, $why" \
      "$e2e_app/zrUpdater.log"
  else
    e2e_fail "$name: no failure box"
  fi
  zr_wineserver -k >/dev/null 2>&1  # the product
}

mkdir -p "$e2e_work/outside"
printf 'not the product' >"$e2e_work/outside/victim.txt"
victim=$(zr_winpath "$e2e_work/outside/victim.txt")

app() { zr_winpath "$e2e_work/refused-$1/Zoria 投屏"; }
if e2e_part names; then
  refused backup-name "$(app backup-name)\\data\\f2.txt.bak" "$(app backup-name)\\data\\f2.txt"
  refused empty-target "$(app empty-target)\\cache\\update\\data\\f2.txt" ""
  refused relative "$(app relative)\\cache\\update\\data\\f2.txt" 'data\f2.txt'
  refused line-break "$(app line-break)\\cache\\update\\data\\f2.txt" "$(app line-break)\\data\\f2.txt&#10;N $victim"
  # Spelt as the short name the journal will have once the run writes it, or as that of f1.txt's
  # backup (data/f1.txt.bak, which the run makes), the target would be that file at the move.
  refused journal-short-name "$(app journal-short-name)\\cache\\update\\data\\f2.txt" \
    "$(app journal-short-name)\\$(e2e_short_name zrUpdater.journal)" "" "a name on the way to the target has the form of a short"
  refused backup-short-name "$(app backup-short-name)\\cache\\update\\data\\f2.txt" \
    "$(app backup-short-name)\\data\\$(e2e_short_name f1.txt.bak)" "" "a name on the way to the target has the form of a short"
fi
if e2e_part places; then
  refused outside "$(app outside)\\cache\\update\\data\\f2.txt" "$victim"
  ln -s "$e2e_work/outside" "$e2e_work/refused-link/Zoria 投屏/linked" 2>/dev/null ||
    { mkdir -p "$e2e_work/refused-link/Zoria 投屏"; ln -s "$e2e_work/outside" "$e2e_work/refused-link/Zoria 投屏/linked"; }
  refused link "$(app link)\\cache\\update\\data\\f2.txt" "$(app link)\\linked\\victim.txt"
  refused_hold=yes refused staged-held "$(app staged-held)\\cache\\update\\data\\f2.txt" "$(app staged-held)\\data\\f2.txt" \
    "" "the staged file cannot be held: error 32"
  # The staged data/f2.txt holds "new 2": one byte short of what the md5 was made from.
  refused short-by-a-byte "$(app short-by-a-byte)\\cache\\update\\data\\f2.txt" "$(app short-by-a-byte)\\data\\f2.txt" \
    "$(printf 'new 2!' | md5sum | cut -c 1-32)"
fi
e2e_finish
