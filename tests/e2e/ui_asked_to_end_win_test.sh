#!/usr/bin/env bash
# The updater asked to end while it replaces 1,500 product files never leaves the installation
# half-updated: every product file ends old or new, none missing, no ".bak", ".tmp" or run
# journal left.
#  - The close button, clicked once the first backup appears, the update then failing at the
#    1,300th file, which another program holds open: the window goes at once, the process ends
#    only after the rollback (a box that still comes up is answered).
#  - A second updater with the same manifest, started mid-replacement through a second drive
#    letter: it tells the first to quit and waits for it to end before its window comes up
#    (never seen while the first lives); the first finishes its files; the second then finds
#    the staged files gone and fails before moving anything.
#  - The session ends (session_probe plays Windows' part): WM_QUERYENDSESSION is refused while
#    files move, with the string table's reason, and allowed when nothing moves;
#    WM_ENDSESSION returns only once the files are whole (a failed update rolled back), and
#    the process is ended at once as Windows ends it.
#
#   ui_asked_to_end_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: close second session-refused session-ok
source "$2/tests/e2e/e2e_lib.sh"

probe="$e2e_helpers/tools/session_probe/session_probe.exe"
[ -f "$probe" ] || { echo "missing $probe (build session_probe)" >&2; exit 1; }
count=1500
held=1300
offline="http_proxy=http://127.0.0.1:9"  # a failed update's usage report goes nowhere
title='^Zoria投屏助手更新程序$'

# --- the close button during a failing update ----------------------------------------------
closed_during_a_failing_update() {
  e2e_install close-failing $count
  e2e_put_product
  e2e_hold "$e2e_app/data/f$held.txt" || e2e_finish
  e2e_run_updater "$offline" || e2e_finish
  if e2e_wait_replacing; then
    zr_click_control "$e2e_main" wnd_main.xml closebtn
    new_at_click=$(e2e_count_new)
    e2e_check "close clicked before the failing file ($new_at_click of $count new)" [ "$new_at_click" -lt $((held - 1)) ]
    e2e_check "the updater ends (boxes answered as they come)" e2e_answer_boxes 300 "$e2e_updater_pid"
    e2e_check "closed: every product file is old ($e2e_boxes_answered boxes answered)" e2e_files_are old
    e2e_check "closed: nothing is left" e2e_no_leftovers
  else
    e2e_fail "closed: the replacement did not begin"
  fi
  zr_wineserver -k >/dev/null 2>&1  # the holder
}

# --- a second updater of the same installation ---------------------------------------------
a_second_updater() {
  e2e_install second $count
  e2e_put_product
  e2e_run_updater "$offline" || e2e_finish
  first_pid=$e2e_updater_pid
  e2e_wait_replacing || e2e_fail "second: the replacement did not begin"
  # The second starts when the first has some fifteen seconds of files left at the pace it has
  # kept so far: time for the second to come up and tell it to quit, well inside the minute the
  # second then waits for it, however fast or busy the machine.
  local began tenth=$((count / 10)) per_file start_at
  began=$(date +%s%N)
  until e2e_is_new $tenth || ! kill -0 "$first_pid" 2>/dev/null; do sleep 0.05; done
  per_file=$((($(date +%s%N) - began) / tenth + 1))
  start_at=$((count - 15000000000 / per_file))
  if [ "$start_at" -gt "$tenth" ]; then
    until e2e_is_new "$start_at" || ! kill -0 "$first_pid" 2>/dev/null; do sleep 0.05; done
  fi
  # The first runs as Z:\..., the second through another letter for the installation's parent.
  e2e_second_drive "$e2e_work/second" || e2e_fail "second: no free drive letter"
  e2e_updater_path="$e2e_drive_letter\\Zoria 投屏\\zrUpdater.exe" e2e_start_updater "$offline"
  second_pid=$e2e_updater_pid
  # Each look lists the windows first, then asks whether the first process still runs: a window
  # of the second seen while the first runs is caught for sure. A window is the second's by its
  # process: once the first has ended, X may give the first's window id to the second's window.
  second_main=
  overlap=0
  first_gone_at=
  end=$((SECONDS + 600))
  while [ -z "$second_main" ] && [ $SECONDS -lt $end ] && kill -0 "$second_pid" 2>/dev/null; do
    for id in $(zr_windows "$title"); do
      [ "$(xdotool getwindowpid "$id" 2>/dev/null)" = "$second_pid" ] && second_main=$id
    done
    if kill -0 "$first_pid" 2>/dev/null; then
      [ -n "$second_main" ] && overlap=1
    elif [ -z "$first_gone_at" ]; then
      first_gone_at=$SECONDS
      new_when_first_ended=$(e2e_count_new)
    fi
    sleep 0.05
  done
  e2e_check "second: its window comes up" [ -n "$second_main" ]
  e2e_check "second: it told the first to quit (its record, started at file $start_at)" \
    grep -q ' an earlier updater.s window was told to quit' "$e2e_app/zrUpdater.log"
  e2e_check "second: never seen while the first ran (first ended at ${first_gone_at:-?}s)" [ "$overlap" = 0 ]
  e2e_check "second: the first had replaced every file when it ended (${new_when_first_ended:-?} new)" \
    [ "${new_when_first_ended:-0}" = "$count" ]
  e2e_check "second: the updaters end (boxes answered as they come)" e2e_answer_boxes 300 "$first_pid" "$second_pid"
  e2e_check "second: the second's failure box was answered ($e2e_boxes_answered)" [ "$e2e_boxes_answered" -ge 1 ]
  e2e_check "second: every product file is new" e2e_files_are new
  e2e_check "second: nothing is left" e2e_no_leftovers
}

# --- the session ends ----------------------------------------------------------------------
# session NAME MODE: runs session_probe MODE and sets $session_result to what it wrote.
# answered ANSWER: the probe's WM_QUERYENDSESSION got ANSWER (1 allows, 0 refuses).
# ended_by_session: the probe's WM_ENDSESSION returned (the probe then ended the updater at
# once, unless it had ended by itself first) and the updater is gone.
session() {
  rm -f "$e2e_work/$1.result"
  zr_wine "$probe" "$2" "$(zr_winpath "$e2e_work/$1.result")" >/dev/null 2>&1 ||
    e2e_fail "session_probe $2 ended with $?"
  session_result=$(cat "$e2e_work/$1.result" 2>/dev/null)
}
answered() { [ "$(head -n 1 <<<"$session_result")" = "answer $1" ]; }
ended_by_session() { [ "${session_result% *}" = returned ] && e2e_updater_ends 60; }
expected_reason=$(sed -n 's:.*<String id="shutdown_updating_files">\(.*\)</String>.*:\1:p' \
  "$e2e_source/src/resources/strings_zh_CN.xml.in")
# block_reason: the reason the probe read back; Wine 8 has no ShutdownBlockReasonQuery, but
# its ShutdownBlockReasonCreate logs the text it was given (fixme channel), which is read then.
block_reason() {
  local reason
  reason=$(sed -n 's/^reason //p' <<<"$session_result")
  if [ "$reason" = unavailable ]; then
    reason=$(sed -n 's/.*ShutdownBlockReasonCreate ([0-9A-Fa-f]*, L"\(.*\)"): stub.*/\1/p' "$e2e_work/updater.log" |
      tail -n 1 | perl -CS -pe 's/\\([0-9a-f]{4})/chr(hex($1))/ge')
  fi
  printf '%s\n' "$reason"
}

# Nothing moves while the retry box of a missing manifest is up: the session may end.
session_refused() {
  e2e_install session-idle 2
  manifest=$e2e_manifest
  e2e_manifest="$e2e_work/no-such-manifest.xml"
  e2e_run_updater "$offline" || e2e_finish
  e2e_manifest=$manifest
  if e2e_box 60; then
    session idle query
    e2e_check "session, nothing moving: WM_QUERYENDSESSION is allowed" answered 1
    e2e_answer_box second
    e2e_updater_ends 60 || e2e_fail "session, nothing moving: the updater did not end"
  else
    e2e_fail "session, nothing moving: no retry box"
  fi

  # A failing update: asked while files move, ended while its failure box is up.
  e2e_install session-failing $count
  e2e_put_product
  e2e_hold "$e2e_app/data/f$held.txt" || e2e_finish
  : >"$e2e_work/updater.log"
  e2e_run_updater "$offline" WINEDEBUG=fixme+graphics || e2e_finish
  if e2e_wait_replacing; then
    session query query
    e2e_check "session, moving: WM_QUERYENDSESSION is refused" answered 0
    new_after=$(e2e_count_new)
    e2e_check "session, moving: the files were still moving then ($new_after new after the answer)" \
      [ "$new_after" -lt $((held - 1)) ]
    reason=$(block_reason)
    e2e_check "session, moving: the reason shown is \"$reason\"" [ "${reason:-none}" = "${expected_reason:-?}" ]
    if e2e_box 120; then
      session failing end
      e2e_check "session, failing: WM_ENDSESSION at the failure box returned (${session_result#* })" \
        ended_by_session
      e2e_check "session, failing: when it returned every product file was old" e2e_files_are old
      e2e_check "session, failing: nothing was left" e2e_no_leftovers
    else
      e2e_fail "session, failing: no failure box"
    fi
  else
    e2e_fail "session, failing: the replacement did not begin"
  fi
  zr_wineserver -k >/dev/null 2>&1  # the holder
}

# A successful update ended mid-replacement.
session_ok() {
  e2e_install session-ok $count
  e2e_put_product
  e2e_run_updater "$offline" || e2e_finish
  if e2e_wait_replacing; then
    new_at_end=$(e2e_count_new)
    session ok end
    e2e_check "session, replacing: WM_ENDSESSION sent at $new_at_end of $count new returned (${session_result#* })" \
      ended_by_session
    e2e_check "session, replacing: when it returned every product file was new" e2e_files_are new
    e2e_check "session, replacing: nothing was left" e2e_no_leftovers
  else
    e2e_fail "session, replacing: the replacement did not begin"
  fi
}

e2e_part close && closed_during_a_failing_update
e2e_part second && a_second_updater
e2e_part session-refused && session_refused
e2e_part session-ok && session_ok
e2e_finish
