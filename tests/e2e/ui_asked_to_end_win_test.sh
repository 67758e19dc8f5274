#!/usr/bin/env bash
# The updater asked to end while it replaces 3,000 product files never leaves the installation
# half-updated: every product file ends old or new, none missing, no ".bak", ".tmp" or run
# journal left.
#  - The close button, clicked once the first backup appears, the update then failing at the
#    2,600th file, which another program holds open: the window goes at once, the process ends
#    only after the rollback (a box that still comes up is answered).
#  - A second updater with the same manifest, started mid-replacement: it tells the first to
#    quit and waits for it to end before its window comes up (never seen while the first
#    lives); the first finishes its files; the second then finds the staged files gone and
#    fails before moving anything.
#  - The session ends (session_probe plays Windows' part): WM_QUERYENDSESSION is refused while
#    files move, with the string table's reason, and allowed when nothing moves;
#    WM_ENDSESSION returns only once the files are whole (a failed update rolled back), and
#    the process is ended at once as Windows ends it.
#
#   ui_asked_to_end_win_test.sh BUILD_DIR SOURCE_DIR
source "$2/tests/e2e/ui_lib.sh"

probe="$ui_build/tools/session_probe/session_probe.exe"
[ -f "$probe" ] || { echo "missing $probe (build session_probe)" >&2; exit 1; }
count=3000
held=2600
offline="http_proxy=http://127.0.0.1:9"  # a failed update's usage report goes nowhere
title='^Zoria投屏助手更新程序$'

# --- the close button during a failing update ----------------------------------------------
ui_install close-failing $count
ui_put_product
ui_hold "$ui_app/data/f$held.txt" || ui_finish
ui_run_updater "$offline" || ui_finish
if ui_wait_replacing; then
  zr_click "$ui_main" 554 26
  new_at_click=$(ui_count_new)
  ui_check "close clicked before the failing file ($new_at_click of $count new)" [ "$new_at_click" -lt $((held - 1)) ]
  ui_check "the updater ends (boxes answered as they come)" ui_answer_boxes 300 "$ui_updater_pid"
  ui_check "closed: every product file is old ($ui_boxes_answered boxes answered)" ui_files_are old
  ui_check "closed: nothing is left" ui_no_leftovers
else
  ui_fail "closed: the replacement did not begin"
fi
zr_wineserver -k >/dev/null 2>&1  # the holder

# --- a second updater of the same installation ---------------------------------------------
ui_install second $count
ui_put_product
ui_run_updater "$offline" || ui_finish
first_pid=$ui_updater_pid
first_main=$ui_main
ui_wait_replacing || ui_fail "second: the replacement did not begin"
ui_start_updater "$offline"
second_pid=$ui_updater_pid
# Each look lists the windows first, then asks whether the first process still runs: a window
# of the second seen while the first runs is caught for sure.
second_main=
overlap=0
first_gone_at=
end=$((SECONDS + 120))
while [ -z "$second_main" ] && [ $SECONDS -lt $end ] && kill -0 "$second_pid" 2>/dev/null; do
  for id in $(xdotool search --onlyvisible --name "$title" 2>/dev/null); do
    [ "$id" != "$first_main" ] && second_main=$id
  done
  if kill -0 "$first_pid" 2>/dev/null; then
    [ -n "$second_main" ] && overlap=1
  elif [ -z "$first_gone_at" ]; then
    first_gone_at=$SECONDS
    new_when_first_ended=$(ui_count_new)
  fi
  sleep 0.05
done
ui_check "second: its window comes up" [ -n "$second_main" ]
ui_check "second: never seen while the first ran (first ended at ${first_gone_at:-?}s)" [ "$overlap" = 0 ]
ui_check "second: the first had replaced every file when it ended (${new_when_first_ended:-?} new)" \
  [ "${new_when_first_ended:-0}" = "$count" ]
ui_check "second: the updaters end (boxes answered as they come)" ui_answer_boxes 120 "$first_pid" "$second_pid"
ui_check "second: the second's failure box was answered ($ui_boxes_answered)" [ "$ui_boxes_answered" -ge 1 ]
ui_check "second: every product file is new" ui_files_are new
ui_check "second: nothing is left" ui_no_leftovers

# --- the session ends ----------------------------------------------------------------------
# session NAME MODE: runs session_probe MODE and sets $session_result to what it wrote.
# answered ANSWER: the probe's WM_QUERYENDSESSION got ANSWER (1 allows, 0 refuses).
# ended_by_session: the probe's WM_ENDSESSION returned (the probe then ended the updater at
# once, unless it had ended by itself first) and the updater is gone.
session() {
  rm -f "$ui_work/$1.result"
  zr_wine "$probe" "$2" "$(zr_winpath "$ui_work/$1.result")" >/dev/null 2>&1 ||
    ui_fail "session_probe $2 ended with $?"
  session_result=$(cat "$ui_work/$1.result" 2>/dev/null)
}
answered() { [ "$(head -n 1 <<<"$session_result")" = "answer $1" ]; }
ended_by_session() { [ "${session_result% *}" = returned ] && ui_updater_ends 30; }
expected_reason=$(sed -n 's:.*<String id="shutdown_updating_files">\(.*\)</String>.*:\1:p' \
  "$ui_source/src/resources/strings_zh_CN.xml.in")
# block_reason: the reason the probe read back; Wine 8 has no ShutdownBlockReasonQuery, but
# its ShutdownBlockReasonCreate logs the text it was given (fixme channel), which is read then.
block_reason() {
  local reason
  reason=$(sed -n 's/^reason //p' <<<"$session_result")
  if [ "$reason" = unavailable ]; then
    reason=$(sed -n 's/.*ShutdownBlockReasonCreate ([0-9A-Fa-f]*, L"\(.*\)"): stub.*/\1/p' "$ui_work/updater.log" |
      tail -n 1 | perl -CS -pe 's/\\([0-9a-f]{4})/chr(hex($1))/ge')
  fi
  printf '%s\n' "$reason"
}

# Nothing moves while the retry box of a missing manifest is up: the session may end.
ui_install session-idle 2
manifest=$ui_manifest
ui_manifest="$ui_work/no-such-manifest.xml"
ui_run_updater "$offline" || ui_finish
ui_manifest=$manifest
if ui_box 60; then
  session idle query
  ui_check "session, nothing moving: WM_QUERYENDSESSION is allowed" answered 1
  zr_answer_box MessageBox second
  ui_updater_ends 30 || ui_fail "session, nothing moving: the updater did not end"
else
  ui_fail "session, nothing moving: no retry box"
fi

# A failing update: asked while files move, ended while its failure box is up.
ui_install session-failing $count
ui_put_product
ui_hold "$ui_app/data/f$held.txt" || ui_finish
: >"$ui_work/updater.log"
ui_run_updater "$offline" WINEDEBUG=fixme+graphics || ui_finish
if ui_wait_replacing; then
  session query query
  ui_check "session, moving: WM_QUERYENDSESSION is refused" answered 0
  new_after=$(ui_count_new)
  ui_check "session, moving: the files were still moving then ($new_after new after the answer)" \
    [ "$new_after" -lt $((held - 1)) ]
  reason=$(block_reason)
  ui_check "session, moving: the reason shown is \"$reason\"" [ "${reason:-none}" = "${expected_reason:-?}" ]
  if ui_box 120; then
    session failing end
    ui_check "session, failing: WM_ENDSESSION at the failure box returned (${session_result#* })" \
      ended_by_session
    ui_check "session, failing: when it returned every product file was old" ui_files_are old
    ui_check "session, failing: nothing was left" ui_no_leftovers
  else
    ui_fail "session, failing: no failure box"
  fi
else
  ui_fail "session, failing: the replacement did not begin"
fi
zr_wineserver -k >/dev/null 2>&1  # the holder

# A successful update ended mid-replacement.
ui_install session-ok $count
ui_put_product
ui_run_updater "$offline" || ui_finish
if ui_wait_replacing; then
  new_at_end=$(ui_count_new)
  session ok end
  ui_check "session, replacing: WM_ENDSESSION sent at $new_at_end of $count new returned (${session_result#* })" \
    ended_by_session
  ui_check "session, replacing: when it returned every product file was new" ui_files_are new
  ui_check "session, replacing: nothing was left" ui_no_leftovers
else
  ui_fail "session, replacing: the replacement did not begin"
fi
ui_finish
