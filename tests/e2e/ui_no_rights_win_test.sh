#!/usr/bin/env bash
# An installation the updater may not write to: the update fails at the first move and is
# rolled back. The target of the manifest's first entry cannot be renamed by anyone (the Linux
# "immutable" attribute: Wine's rename gets EPERM and the updater's MoveFileExW fails with
# "access denied", as for a user without write rights to the installation). The failure box
# shows "确定" alone; after the click every file is as it was, nothing is left behind, the
# download cache is gone, one usage report reaches the (loopback) endpoint and the updater ends.
# Its lock file, which it may only read, is still held without sharing: no other program can
# open it meanwhile.
#
# A second run, whose updater may not create files in its own directory: without a lock file
# and without the right to make one it goes on unlocked, cannot write its journal either and
# fails in the same way before anything moves.
#
# The machine's user is root, whom plain permissions do not stop, hence the attribute. It is
# taken off again however the test ends; a run killed outright leaves the paths in
# $build/no-rights.immutable, and the next run frees them first.
#
#   ui_no_rights_win_test.sh BUILD_DIR SOURCE_DIR [PART]
#
# Parts: file folder
source "$2/tests/e2e/e2e_lib.sh"

leftover="$e2e_build/$e2e_name.immutable"
free_guarded() {
  if [ -s "$leftover" ]; then
    while IFS= read -r path; do chattr -i "$path" 2>/dev/null; done <"$leftover"
  fi
  rm -f "$leftover"
}
# guard PATH: nobody may change PATH (a file, or the entries of a folder) until the test ends.
guard() {
  printf '%s\n' "$1" >>"$leftover"
  chattr +i "$1" 2>/dev/null
}
free_guarded
trap 'free_guarded; e2e_cleanup' EXIT
trap 'exit 1' INT TERM HUP

no_rights_to_a_file() {
  e2e_install no-rights 4
  guarded="$e2e_app/data/f1.txt"
  lock="$e2e_app/zrUpdater.lock"
  : >"$lock"
  if ! guard "$guarded" || ! guard "$lock"; then
    echo "SKIP: cannot make $guarded immutable here (file system or capability)"
    exit 77
  fi
  e2e_check "the guarded file cannot be renamed, even by root" \
    bash -c '! mv "$1" "$1.bak" 2>/dev/null' _ "$guarded"
  e2e_check "the lock file cannot be written, even by root" bash -c '! : >>"$1" 2>/dev/null' _ "$lock"

  e2e_report_server || e2e_finish
  e2e_run_updater "http_proxy=http://127.0.0.1:$e2e_port" || e2e_finish
  if e2e_box 60; then
    e2e_shot box-no-rights
    e2e_check "the failure box shows one button ($e2e_box_shows)" [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_ok" ]
    # The stand-in ends with 2 when it cannot open the file it is to hold, with 3 when it held
    # it for its lifetime of 1 ms.
    zr_wine "$e2e_stand_in" --no-window --hold "$(zr_winpath "$lock")" --lifetime 1 >/dev/null 2>&1
    e2e_check "the read-only lock file is held: another program cannot open it" [ $? = 2 ]
    e2e_answer_box only
    e2e_rolled_back
  else
    e2e_fail "no failure box"
  fi
}

# --- no right to create files beside the updater ---------------------------------------------
no_rights_to_the_folder() {
  e2e_install no-rights-folder 4
  # An earlier run's record is there: the updater adds to it (it cannot make a new one), and
  # the test reads its box from it.
  : >"$e2e_app/zrUpdater.log"
  guard "$e2e_app" || { echo "SKIP: cannot make $e2e_app immutable here (file system or capability)"; exit 77; }
  e2e_check "no file can be made in the updater's folder, even by root" \
    bash -c '! : >"$1/probe" 2>/dev/null' _ "$e2e_app"
  e2e_report_server || e2e_finish
  e2e_run_updater "http_proxy=http://127.0.0.1:$e2e_port" || e2e_finish
  if e2e_box 60; then
    e2e_check "folder: the failure box shows one button ($e2e_box_shows)" \
      [ "$e2e_box_shows" = "messageboxwithlink.xml: btn_ok" ]
    e2e_answer_box only
    e2e_rolled_back
    e2e_check "folder: no lock file was made" [ ! -e "$e2e_app/zrUpdater.lock" ]
  else
    e2e_fail "folder: no failure box"
  fi
}

e2e_part file && no_rights_to_a_file
e2e_part folder && no_rights_to_the_folder
e2e_finish
