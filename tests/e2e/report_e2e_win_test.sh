#!/usr/bin/env bash
# End to end: the real zrUpdater.exe sends exactly one usage report when an update fails at a
# locked file, and none when the update succeeds; whatever the report endpoint does, the
# updater ends within 5 s of the failure box's answer.
#
#   report_e2e_win_test.sh BUILD_DIR SOURCE_DIR
#
# The report goes to the built-in URL through the system's proxy settings: the updater is
# started with http_proxy naming the loopback report server (tools/report_server), which
# records every request. The recorded body is decrypted with the openssl command line
# (des-ede3 in ECB mode, the endpoint's key) after Python's percent- and Base64-decoding.
# The installation's source.dat holds GBK text and "/version" UTF-8 text: both must come back
# from the report byte for byte.
#
# Endpoints in trouble: the server in each of its modes "silent" (accepts, reads the report,
# never answers), "trickle" (answers one byte a second, and in a second run one every 0.5 s)
# and "close" (closes each connection at once). The time runs from just before the click on the
# box's button to the end of the updater's process, polled every 0.1 s.
#
# The test runs in a Wine prefix of its own (registry value "GUID" included), made anew, on a
# display of its own; the box is found and answered through what the updater's record says it
# shows (zr_box in scripts/wine-env.sh). The product and the report server come from the build
# ZR_HELPER_BUILD_DIR names (tests/e2e/e2e_lib.sh says why).
#
# What the report says about the machine depends on the updater's bitness and the Windows it
# runs on: "pcos" ends in "64" only for a 32-bit updater on 64-bit Windows (WOW64), and the
# "GUID" is the one written through the registry's 32-bit view, which 64-bit Windows keeps
# below WOW6432Node, where the updater reads it (a "GUID" in the 64-bit view is not read); on
# 32-bit Windows, with no WOW6432Node, it finds none ("N/A").
set -u
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
source "$source_dir/scripts/wine-env.sh"
export LANG=C.UTF-8  # the non-ASCII "/version" reaches Wine as UTF-8

helpers=$(cd "${ZR_HELPER_BUILD_DIR:-$build}" && pwd)
updater="$build/src/zrUpdater.exe"
product="$helpers/tools/stand_in_product/zrCastrix.exe"
server="$helpers/tools/report_server/report_server.exe"
for f in "$updater" "$product" "$server"; do
  [ -f "$f" ] || { echo "missing $f (build zrUpdater, stand_in_product, report_server)"; exit 1; }
done
python=$(command -v python3 || echo /usr/bin/python3)
zr_updater=$updater

zr_wine_fresh "$build/wineprefixes/$(zr_test_name)" "$build/wineprefix-template"

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-report-e2e.XXXXXX")
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  zr_wineserver -k >/dev/null 2>&1  # this prefix is ours alone: ends the updater, product, locker
  zr_display_down
  rm -rf "$work"
}
zr_display_up --own
trap cleanup EXIT  # after zr_display_up, whose own EXIT trap it replaces (cleanup calls it)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# reg_add ARGS...: `reg add` in this prefix. Once, on a busy machine, reg ended with an error
# and wrote nothing: it is run once more, with what it said in the log.
reg_add() {
  local said
  said=$(zr_wine reg add "$@" 2>&1) && return 0
  echo "reg add $* failed (${said//$'\n'/ }): once more"
  zr_wine reg add "$@" >/dev/null 2>&1
}
# Xvfb has no window manager: Wine would wait 2 s for one to withdraw every window it hides
# (the box, then the main window), inside the updater's own calls. Windows that Wine does not
# hand to a window manager are hidden at once, as on Windows. This prefix is the test's own.
reg_add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || fail "reg add Managed"

start_server() {  # start_server DIR [MODE]: records into DIR, sets server_pid and port
  mkdir -p "$1"
  zr_wine "$server" "$(winpath "$1")" "$(winpath "$1/port")" 200 300 "${2:-answer}" >/dev/null 2>&1 &
  server_pid=$!
  port=
  for _ in $(seq 600); do
    [ -s "$1/port" ] && { port=$(cat "$1/port"); return 0; }
    sleep 0.1
  done
  echo "report server did not start"; exit 1
}

stop_server() {
  kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=
}

# make_install DIR VERSION: an installation with zrUpdater.exe, zrCastrix.exe, source.dat
# (GBK text and a line break), two product files with old content, their staged new content
# and the manifest.
source_text=$'\xD6\xD0\xCE\xC4 e2e-channel'  # "中文" in GBK
make_install() {
  local dir=$1
  mkdir -p "$dir/install/data" "$dir/install/cache/update" "$dir/staged"
  cp "$updater" "$dir/install/zrUpdater.exe"
  cp "$product" "$dir/install/zrCastrix.exe"
  printf '%s\n' "$source_text" >"$dir/install/source.dat"
  printf 'old a' >"$dir/install/data/a.txt"
  printf 'old b' >"$dir/install/data/b.txt"
  printf 'new a' >"$dir/staged/a.new"
  printf 'new b' >"$dir/staged/b.new"
  printf 'part' >"$dir/install/cache/update/pkg.part"
  cat >"$dir/manifest.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<config>
  <version>$2</version>
  <file><url>http://example.invalid/a</url><md5>0</md5>
    <tmp>$(winpath "$dir/staged/a.new")</tmp><path>$(winpath "$dir/install/data/a.txt")</path></file>
  <file><url>http://example.invalid/b</url><md5>0</md5>
    <tmp>$(winpath "$dir/staged/b.new")</tmp><path>$(winpath "$dir/install/data/b.txt")</path></file>
</config>
XML
}

# make_failing_install DIR VERSION: make_install, with the second product file held open by
# another process (a copy of the stand-in that is not the installation's product, so the
# updater does not close it): moving it fails, and the update with it.
make_failing_install() {
  make_install "$1" "$2"
  mkdir -p "$1/locker"
  cp "$product" "$1/locker/zrCastrix.exe"
  zr_wine "$1/locker/zrCastrix.exe" --no-window --hold "$(winpath "$1/install/data/b.txt")" \
    --ready "$(winpath "$1/locker/ready")" --lifetime 120000 >/dev/null 2>&1 &
  for _ in $(seq 600); do [ -s "$1/locker/ready" ] && break; sleep 0.1; done
  [ -s "$1/locker/ready" ] || fail "the locker did not start"
}

# run_updater DIR VERSION: runs the installation's updater through the proxy, confirms the
# failure box if one comes up, and waits for the updater to end (at most two minutes). Sets
# box_seen, and answer_ms: from just before the click on the box's "btn_ok" to the updater's end.
run_updater() {
  local dir=$1
  http_proxy="http://127.0.0.1:$port" zr_wine "$dir/install/zrUpdater.exe" \
    /config "$(winpath "$dir/manifest.xml")" /version "$2" >/dev/null 2>&1 &
  local pid=$!
  box_seen=0
  answer_ms=
  local answered=
  for _ in $(seq 1200); do
    kill -0 "$pid" 2>/dev/null || break
    if [ -z "$answered" ] && [ "$(zr_boxes_open "$dir/install/zrUpdater.log")" -gt 0 ] &&
       zr_box "$dir/install/zrUpdater.log" 1; then
      box_seen=1
      local centre
      centre=$(zr_box_centre btn_ok) || fail "the box shows no btn_ok ($zr_box_shows)"
      answered=$(date +%s%N)
      zr_click "$zr_box_id" $centre  # the skinned box closes only on a click
    fi
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    fail "the updater did not end"
  elif [ -n "$answered" ]; then
    answer_ms=$((($(date +%s%N) - answered) / 1000000))
  fi
  wait "$pid" 2>/dev/null
}

# barrier DIR: a request of the test's own to the server recording into DIR, answered: the
# server takes one connection at a time, so every request made before it has been recorded.
# It is recorded as the last one, "GET /barrier".
barrier() {
  curl -s -o /dev/null --max-time 60 "http://127.0.0.1:$port/barrier" || fail "the report server did not answer"
}

decrypt() {  # decrypt BODY_FILE: the plaintext on stdout
  local key
  key=$(printf '%s' '5809tumo3714962850kelvarisquen47' | head -c 24 | od -An -tx1 | tr -d ' \n')
  "$python" -c 'import sys, base64, urllib.parse
text = open(sys.argv[1], "rb").read().decode("ascii")
sys.stdout.buffer.write(base64.b64decode(urllib.parse.unquote(text).replace("\r\n", "")))' "$1" |
    openssl enc -d -des-ede3 -K "$key"
}

# --- a failed update: the second file is held open by another process -----------------------
guid='{5A1C7E20-93B4-4D6F-8E2A-C0FFEE123456}'
expected_os=6_1_0_32
if [ "$(zr_windows_bits)" = 64 ]; then
  reg_add 'HKLM\SOFTWARE\zrCastrix.exe' /v GUID /t REG_SZ /d "$guid" /reg:32 /f || fail "reg add /reg:32"
  reg_add 'HKLM\SOFTWARE\zrCastrix.exe' /v GUID /t REG_SZ /d '{64646464-0000-0000-0000-000000000064}' /reg:64 /f ||
    fail "reg add /reg:64"
  expected_guid=$guid
  [ "$(zr_pe_bits "$updater")" = 32 ] && expected_os=6_1_0_64
else
  reg_add 'HKLM\SOFTWARE\zrCastrix.exe' /v GUID /t REG_SZ /d "$guid" /f || fail "reg add"
  expected_guid=N/A
fi
echo "a $(zr_pe_bits "$updater")-bit updater on $(zr_windows_bits)-bit Windows: expecting pcguid $expected_guid, pcos $expected_os"

product_version='1.9.8-测试'          # UTF-8
target_version='3.2.1-测试版'         # UTF-8, from the manifest
fail_dir="$work/failed"
make_failing_install "$fail_dir" "$target_version"
start_server "$fail_dir/records"
run_updater "$fail_dir" "$product_version"
stop_server

[ "$box_seen" = 1 ] || fail "no failure box was seen"
echo "answering endpoint: the updater ended ${answer_ms:-?} ms after the box's answer"
[ -n "$answer_ms" ] && [ "$answer_ms" -le 5000 ] || fail "answering endpoint: ended ${answer_ms:-never} ms after the answer"
heads=$(ls "$fail_dir/records"/*.head 2>/dev/null | wc -l)
[ "$heads" = 1 ] || fail "expected exactly one report, got $heads"
if [ -f "$fail_dir/records/001.head" ]; then
  line=$(head -n 1 "$fail_dir/records/001.head" | tr -d '\r')
  case "$line" in
    "POST http://"*"/log/info/uploadLog.go?type=2 HTTP/1.1") ;;
    *) fail "request line: $line" ;;
  esac
  grep -qE $'^Content-Type: ?application/text;charset=UTF-8\r$' "$fail_dir/records/001.head" ||
    fail "content type"
  decrypt "$fail_dir/records/001.body" >"$work/report.json"
  echo "decrypted report:"; cat "$work/report.json"
  # source.dat's GBK bytes and both UTF-8 versions as they are; only the line break escaped.
  cat >"$work/expected.json" <<JSON
{
   "code" : 4001,
   "des" : "MOVE_FILE_FAILED",
   "menuid" : 10280,
   "pccid" : "$source_text\\n",
   "pcclient" : 11,
   "pcguid" : "$expected_guid",
   "pcos" : "$expected_os",
   "pcvs" : "$product_version",
   "pcvs_b" : "2.2.0",
   "success" : "0",
   "ticket" : -1,
   "type" : 2,
   "uptovs" : "$target_version"
}
JSON
  if ! cmp -s "$work/report.json" "$work/expected.json"; then
    fail "decrypted report differs"
    cmp -l "$work/report.json" "$work/expected.json" | head
  fi
fi
[ "$(cat "$fail_dir/install/data/a.txt")" = "old a" ] || fail "a.txt was not rolled back"
[ -d "$fail_dir/install/cache/update" ] && fail "the cache was not removed"

# --- endpoints in trouble: the updater still ends in time ----------------------------------
# "trickle" (a byte a second) runs into the receive time-out; "trickle:500" never does, and
# only the deadline on the whole POST ends it (its thread is then abandoned).
for mode in silent trickle trickle:500 close; do
  dir="$work/endpoint-${mode/:/-}"
  make_failing_install "$dir" "3.2.1"
  start_server "$dir/records" "$mode"
  run_updater "$dir" "1.9.8"
  stop_server
  [ "$box_seen" = 1 ] || fail "$mode: no failure box was seen"
  echo "$mode endpoint: the updater ended ${answer_ms:-?} ms after the box's answer"
  [ -n "$answer_ms" ] && [ "$answer_ms" -le 5000 ] || fail "$mode: ended ${answer_ms:-never} ms after the answer"
  record=001.head
  [ "$mode" = close ] && record=001.closed
  [ -f "$dir/records/$record" ] || fail "$mode: the report never reached the server"
  [ "$(cat "$dir/install/data/a.txt")" = "old a" ] || fail "$mode: a.txt was not rolled back"
done

# --- a successful update: no report -------------------------------------------------------
ok_dir="$work/succeeded"
make_install "$ok_dir" "3.2.2"
start_server "$ok_dir/records"
run_updater "$ok_dir" "1.9.8"
barrier
stop_server
[ "$(cat "$ok_dir/install/data/b.txt")" = "new b" ] || fail "the successful update did not apply"
heads=$(grep -L '^GET /barrier ' "$ok_dir/records"/*.head 2>/dev/null | wc -l)
[ "$heads" = 0 ] || fail "a successful update sent $heads report(s)"
[ -n "$(grep -l '^GET /barrier ' "$ok_dir/records"/*.head 2>/dev/null)" ] || fail "the barrier request was not recorded"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "report end to end: passed"
