#!/usr/bin/env bash
# The updater killed while it replaces product files (kill -9 of its Wine process, or the whole
# prefix ended at once with wineserver -k): right after the first backup appears, mid-way, or
# during the rollback of an update that failed at a file another program holds open. A new
# start with no usable manifest restores the installation from the journal the run left before
# it shows its retry box: every product file old, none missing, no ".bak", ".tmp" or journal.
# Reinstalled before the next start, the installation is left as the reinstall made it; with the
# journal or a backup held by another program, the next start touches nothing and says so, and
# the one after the holder has gone restores everything.
# The mid-way run also shows the progress bar's fill growing during the replacement (two
# screenshots, kept in the build's screenshots folder).
#
#   ui_killed_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: first-backup mid-way rollback-kill rollback-wineserver reinstall journal-held backup-held
source "$2/tests/e2e/e2e_lib.sh"

# installation_files: every file of the installation with its checksum, but the updater's
# record, which each run writes.
installation_files() {
  (cd "$e2e_app" && find . -type f ! -name 'zrUpdater.log*' -print0 | sort -z | xargs -0 sha1sum)
}

count=1000
held=900  # the file another program holds in the failing runs
offline="http_proxy=http://127.0.0.1:9"  # a failed update's usage report goes nowhere

# half_updated: what a killed run leaves: backups, and its journal.
half_updated() { [ "$(e2e_backups)" -gt 0 ] && [ -e "$e2e_app/zrUpdater.journal" ]; }

# killed MOMENT HOW [THEN]: MOMENT first-backup | mid-way | rollback (of an update failing at
# the held file, once its box is answered); HOW kill (kill -9 of the updater's Wine process) or
# wineserver (every process of the prefix ended at once). THEN, what happens before the next
# start: nothing; reinstall (every product file written anew, as a repair install does: the
# next start moves nothing back and keeps the backups); journal-held or backup-held (another
# program holds the journal, or a backup: the next start shows the failure box, with nothing
# touched or with that file left, and the start after the holder has gone restores everything).
killed() {
  local moment=$1 how=$2 then=${3:-}
  local name="$1, $2${3:+, then $3}"
  e2e_install "killed-$moment-$how$then" $count
  e2e_put_product
  if [ "$moment" = rollback ]; then e2e_hold "$e2e_app/data/f$held.txt" || return; fi
  e2e_run_updater "$offline" || return
  e2e_wait_replacing || { e2e_fail "$name: the replacement did not begin"; return; }
  case $moment in
    mid-way)
      # The bar's fill at a tenth of the files, then from half of them on, until it has grown
      # (the window draws as it can) or the files are all new.
      until e2e_is_new $((count / 10)) || ! e2e_updater_runs; do sleep 0.05; done
      e2e_shot progress-early
      local early later=0 new_then=0
      early=$(e2e_progress_filled progress-early)
      until e2e_is_new $((count / 2)) || ! e2e_updater_runs; do sleep 0.05; done
      while e2e_updater_runs; do
        e2e_is_new "$count" && break
        e2e_shot progress-later
        new_then=$(e2e_count_new)
        later=$(e2e_progress_filled progress-later)
        [ "$later" -le $((early + 50)) ] || break
        sleep 0.1
      done
      grew_during() { [ "$later" -gt $((early + 50)) ] && [ "$new_then" -lt "$count" ]; }
      e2e_check "the progress bar's fill grows during the replacement ($early, then $later of 508 px at $new_then files)" \
        grew_during
      ;;
    rollback)
      e2e_box 120 || { e2e_fail "$name: no failure box"; return; }
      e2e_answer_box only
      until [ "$(e2e_backups)" -le $((held - 1 - 100)) ] || ! e2e_updater_runs; do sleep 0.1; done
      ;;
  esac
  if [ "$how" = kill ]; then
    kill -9 "$e2e_updater_pid"
    wait "$e2e_updater_pid" 2>/dev/null
  else
    zr_wineserver -k >/dev/null 2>&1
    zr_wineserver -w >/dev/null 2>&1
  fi
  e2e_check "$name: killed with $(e2e_backups) backups and $(e2e_count_new) new files" half_updated

  local manifest=$e2e_manifest
  e2e_manifest="$e2e_work/no-such-manifest.xml"
  case $then in
    reinstall)
      local i backups
      for ((i = 1; i <= count; i++)); do printf 'reinstalled %s' "$i" >"$e2e_app/data/f$i.txt"; done
      backups=$(e2e_backups)
      restarted "$name" || return
      e2e_check "$name: at the retry box every product file is the reinstalled one" e2e_files_are reinstalled
      e2e_check "$name: the backups are kept ($backups)" [ "$(e2e_backups)" = "$backups" ]
      e2e_check "$name: the journal is finished" [ ! -e "$e2e_app/zrUpdater.journal" ]
      e2e_answer_retry_box_second "$name"
      ;;
    journal-held | backup-held)
      local target=$e2e_app/zrUpdater.journal before
      [ "$then" = backup-held ] && target=$(find "$e2e_app/data" -name '*.bak' -print -quit)
      e2e_hold "$target" --exclusive || return
      before=$(installation_files)
      e2e_run_updater "$offline" || return
      if e2e_box 120; then
        e2e_check "$name: the failure box shows one button ($e2e_box_shows)" \
          [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_ok" ]
        e2e_answer_box only
        e2e_check "$name: the updater ends" e2e_updater_ends 60
        if [ "$then" = journal-held ]; then
          e2e_check "$name: nothing was touched" \
            [ "$(installation_files)" = "$before" ]
        else
          e2e_check "$name: the held backup is still there, and the journal" \
            test -f "$target" -a -f "$e2e_app/zrUpdater.journal"
        fi
      else
        e2e_fail "$name: no failure box while $target is held"
      fi
      kill "$e2e_holder_pid" 2>/dev/null
      zr_wait_exit "$e2e_holder_pid" 60
      restarted "$name, the holder gone" || return
      e2e_check "$name: at the retry box every product file is old" e2e_files_are old
      e2e_check "$name: at the retry box nothing is left" e2e_no_leftovers
      e2e_answer_retry_box_second "$name"
      ;;
    *)
      # Started again with a manifest that does not exist: the retry box comes up only once
      # the installation is whole again.
      restarted "$name" || return
      e2e_check "$name: at the retry box every product file is old" e2e_files_are old
      e2e_check "$name: at the retry box nothing is left" e2e_no_leftovers
      e2e_answer_retry_box_second "$name"
      ;;
  esac
  e2e_manifest=$manifest
  zr_wineserver -k >/dev/null 2>&1  # the holder
}

# restarted NAME: starts the updater again and waits for its retry box.
restarted() {
  e2e_run_updater "$offline" || return 1
  e2e_box 120 || { e2e_fail "$1: no retry box after the restart"; return 1; }
}

e2e_answer_retry_box_second() {
  e2e_answer_box second
  e2e_check "$1: the updater ends on the box's second button" e2e_updater_ends 60
}

e2e_part first-backup && killed first-backup kill
e2e_part mid-way && killed mid-way wineserver
e2e_part rollback-kill && killed rollback kill
e2e_part rollback-wineserver && killed rollback wineserver
e2e_part reinstall && killed mid-way kill reinstall
e2e_part journal-held && killed first-backup kill journal-held
e2e_part backup-held && killed first-backup kill backup-held
e2e_finish
