#!/usr/bin/env bash
# Staged files held from their check to their move, with the real exe:
#  - staged on another drive (a file system of its own, in /dev/shm): each is copied beside its
#    target and the copy renamed in; the staged files go, and the record says how many came so;
#  - killed while a 600 MB staged file is copied from that drive: the product's file is as it
#    was (the copy goes beside it), and the next start leaves every file old, no copy behind;
#  - another program (a Windows process) trying, every 20 ms, to rewrite a staged file with its
#    size and time kept, or to move another file onto it, from the md5 check on, or from the
#    journal on: it finds the file but never changes it, and the checked bytes are installed;
#  - a product file another program holds until the updater has waited for it a moment: the
#    status line and the record tell the wait, and the update then succeeds.
#
#   update_staged_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: other-drive other-program held-moment
source "$2/tests/e2e/e2e_lib.sh"

offline="http_proxy=http://127.0.0.1:9"  # a failed update's usage report goes nowhere
if e2e_part other-drive; then
  shm=$(mktemp -d /dev/shm/zr-e2e.XXXXXX) || zr_fail "no /dev/shm for another file system"
  trap 'e2e_cleanup; rm -rf "$shm"' EXIT
  e2e_second_drive "$shm" || zr_fail "no free drive letter"
  far=$e2e_drive_letter
fi

# stage_far I: entry I's staged file moves to the other drive; the manifest is written anew.
stage_far() {
  mv "$e2e_app/cache/update/data/f$1.txt" "$shm/f$1.txt"
  e2e_entries[$((2 * ($1 - 1)))]="$far\\f$1.txt"
  e2e_write_manifest "$e2e_manifest" 3.2.0 "${e2e_entries[@]}"
}

# --- from another drive -------------------------------------------------------------------
if e2e_part other-drive; then
  e2e_install far 3
  stage_far 1
  stage_far 3
  e2e_put_product
  e2e_run_updater "$offline" && e2e_completed
  e2e_check "far: the staged files on the other drive are gone" [ ! -e "$shm/f1.txt" -a ! -e "$shm/f3.txt" ]
  e2e_check "far: no copy is left" e2e_no_leftovers
  e2e_check "far: the record says two came from another volume" \
    grep -qE 'journal written: .*, copied from another volume 2\s*$' "$e2e_app/zrUpdater.log"
  zr_wineserver -k >/dev/null 2>&1  # the product it started

  # --- killed while a copy from another drive is made ---------------------------------------
  e2e_install killed-copy 2
  stage_far 1
  yes 'staged for 3.2.0' | head -c $((600 << 20)) >"$shm/f1.txt"
  e2e_put_product
  if e2e_run_updater "$offline"; then
    e2e_poll 60 test -e "$e2e_app/data/f1.txt.new" || e2e_fail "killed-copy: no copy beside the target"
    kill -9 "$e2e_updater_pid"
    wait "$e2e_updater_pid" 2>/dev/null
    e2e_check "killed-copy: the product's file is as it was while its copy is cut short" e2e_files_are old
    e2e_check "killed-copy: the run's journal is left" [ -e "$e2e_app/zrUpdater.journal" ]
    e2e_manifest="$e2e_work/no-such-manifest.xml"
    if e2e_run_updater "$offline" && e2e_box 120; then
      e2e_check "killed-copy: at the next start's retry box every file is old" e2e_files_are old
      e2e_check "killed-copy: no copy, backup or journal is left" e2e_no_leftovers
      e2e_check "killed-copy: the record tells the recovery" \
        grep -q 'recovery: rolling back the run cut short' "$e2e_app/zrUpdater.log"
      e2e_answer_box second
      e2e_check "killed-copy: the updater ends" e2e_updater_ends 30
    else
      e2e_fail "killed-copy: no retry box after the restart"
    fi
  fi
fi

# --- another program at a staged file -----------------------------------------------------
# rewritten NAME COUNT MEGABYTES WHEN: an update of COUNT files, the last one's staged file of
# MEGABYTES, which another program (started before, waiting) tries to change from the moment the
# record says WHEN.
rewritten() {
  local name=$1 count=$2 megabytes=$3 when=$4
  e2e_install "$name" "$count"
  local staged="$e2e_app/cache/update/data/f$count.txt"
  yes "new $count" | head -c $((megabytes << 20)) >"$staged"
  cp "$staged" "$e2e_work/$name.checked"
  # With an md5 to check when the other program begins at the check (on a thousand files md5sum
  # would take a while).
  [ "$when" != ' checking md5: ' ] || e2e_md5=yes e2e_write_manifest "$e2e_manifest" 3.2.0 "${e2e_entries[@]}"
  e2e_put_product
  local dir go="$e2e_work/$name.go" stop="$e2e_work/$name.stop"
  dir=$(mktemp -d "$e2e_work/rewriter.XXXXXX")
  cp "$e2e_stand_in" "$dir/zrCastrix.exe"
  e2e_launch "$dir/zrCastrix.exe" "the program rewriting the staged file" --no-window \
    --rewrite "$(zr_winpath "$staged")" --after "$(zr_winpath "$go")" --until "$(zr_winpath "$stop")" || return
  local rewriter=$e2e_launched_pid
  e2e_run_updater "$offline" || return
  e2e_wait_record "$when" || { e2e_fail "$name: the record never said \"$when\""; return; }
  touch "$go"
  e2e_check "$name: the update proceeds to the completion page" e2e_wait_completion_page 60
  touch "$stop"
  zr_wait_exit "$rewriter" 20
  local tries changed found
  tries=$(cat "$dir/zrCastrix.ready.rewrites" 2>/dev/null)
  changed=${tries%%/*} found=${tries#*/}
  e2e_check "$name: the other program found the staged file (in ${found:-none} of its tries)" [ "${found:-0}" -gt 0 ]
  e2e_check "$name: it never changed it (${changed:-?} changes)" [ "$changed" = 0 ]
  e2e_same "$e2e_app/data/f$count.txt" "$e2e_work/$name.checked" "$name: the checked bytes are installed"
  e2e_check "$name: the updater ends" e2e_updater_ends 20
  e2e_check "$name: the record says every file is new" grep -q ' outcome 0: every file is new' "$e2e_app/zrUpdater.log"
  zr_wineserver -k >/dev/null 2>&1
}
if e2e_part other-program; then
  rewritten rewritten-during-md5 3 600 ' checking md5: '
  rewritten rewritten-during-moves 1000 1 ' journal written: '
fi

# --- a product file held for a moment -----------------------------------------------------
if e2e_part held-moment; then
  e2e_install held-moment 3
  e2e_put_product
  release="$e2e_work/release"
  e2e_hold "$e2e_app/data/f2.txt" --until "$(zr_winpath "$release")" || e2e_finish
  if e2e_run_updater "$offline"; then
    e2e_check "held-moment: the updater waits for the held file" \
      e2e_wait_record "waiting for \".*f2\\.txt\": error (5|32) "
    touch "$release"
    e2e_completed
    e2e_check "held-moment: the record tells the wait's end" \
      grep -qE 'free again after [0-9.]+ s: ".*f2\.txt"' "$e2e_app/zrUpdater.log"
  fi
fi
e2e_finish
