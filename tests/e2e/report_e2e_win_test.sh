#!/usr/bin/env bash
# End to end: the real zrUpdater.exe sends exactly one usage report when an update fails at a
# locked file, and none when the update succeeds.
#
#   report_e2e_win_test.sh BUILD_DIR SOURCE_DIR
#
# The report goes to the built-in URL through the system's proxy settings: the updater is
# started with http_proxy naming the loopback report server (tools/report_server), which
# records every request. The recorded body is decrypted with the openssl command line
# (des-ede3 in ECB mode, the endpoint's key) after Python's percent- and Base64-decoding.
#
# The test runs in a Wine prefix of its own (registry value "GUID" included); runs of it in
# the same build take turns through a lock file.
set -u
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
source "$source_dir/scripts/wine-env.sh"

updater="$build/src/zrUpdater.exe"
product="$build/tools/stand_in_product/zrCastrix.exe"
server="$build/tools/report_server/report_server.exe"
for f in "$updater" "$product" "$server"; do
  [ -f "$f" ] || { echo "missing $f (build zrUpdater, stand_in_product, report_server)"; exit 1; }
done
python=$(command -v python3 || echo /usr/bin/python3)

exec 8>"$build/report-e2e.lock"
flock 8
zr_wine_init "$build/wineprefix-report-e2e"

work=$(mktemp -d "${TMPDIR:-/tmp}/zr-report-e2e.XXXXXX")
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  zr_wineserver -k >/dev/null 2>&1  # this prefix is ours alone: ends the updater, product, locker
  zr_display_down
  rm -rf "$work"
}
trap cleanup EXIT
zr_display_up

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

start_server() {  # start_server DIR: records into DIR, sets server_pid and port
  mkdir -p "$1"
  zr_wine "$server" "$(winpath "$1")" "$(winpath "$1/port")" 200 300 >/dev/null 2>&1 &
  server_pid=$!
  port=
  for _ in $(seq 200); do
    [ -s "$1/port" ] && { port=$(cat "$1/port"); return 0; }
    sleep 0.1
  done
  echo "report server did not start"; exit 1
}

stop_server() {
  kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; server_pid=
}

# make_install DIR VERSION: an installation with zrUpdater.exe, zrCastrix.exe, source.dat,
# two product files with old content, their staged new content and the manifest.
make_install() {
  local dir=$1
  mkdir -p "$dir/install/data" "$dir/install/cache/update" "$dir/staged"
  cp "$updater" "$dir/install/zrUpdater.exe"
  cp "$product" "$dir/install/zrCastrix.exe"
  printf 'e2e-channel\n' >"$dir/install/source.dat"
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

# run_updater DIR VERSION: runs the installation's updater through the proxy, confirms the
# failure box if one comes up, and waits for the updater to end (at most a minute).
run_updater() {
  local dir=$1
  http_proxy="http://127.0.0.1:$port" zr_wine "$dir/install/zrUpdater.exe" \
    /config "$(winpath "$dir/manifest.xml")" /version "$2" >/dev/null 2>&1 &
  local pid=$!
  box_seen=0
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    local box
    box=$(xdotool search --onlyvisible --name '^MessageBox$' 2>/dev/null | head -n 1)
    if [ -n "$box" ]; then
      box_seen=1
      zr_answer_box MessageBox first  # the skinned box closes only on a click
      sleep 0.5
    fi
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    fail "the updater did not end"
  fi
  wait "$pid" 2>/dev/null
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
zr_wine reg add 'HKLM\SOFTWARE\WOW6432Node\zrCastrix.exe' /v GUID /t REG_SZ /d "$guid" /f \
  >/dev/null 2>&1 || fail "reg add"

fail_dir="$work/failed"
make_install "$fail_dir" "3.2.1"
mkdir -p "$fail_dir/locker"
cp "$product" "$fail_dir/locker/zrCastrix.exe"  # not the installation's product: not closed
zr_wine "$fail_dir/locker/zrCastrix.exe" --no-window --hold "$(winpath "$fail_dir/install/data/b.txt")" \
  --ready "$(winpath "$fail_dir/locker/ready")" --lifetime 120000 >/dev/null 2>&1 &
for _ in $(seq 200); do [ -s "$fail_dir/locker/ready" ] && break; sleep 0.1; done
[ -s "$fail_dir/locker/ready" ] || fail "the locker did not start"

start_server "$fail_dir/records"
run_updater "$fail_dir" "1.9.8"
stop_server

[ "$box_seen" = 1 ] || fail "no failure box was seen"
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
  json=$(decrypt "$fail_dir/records/001.body"; echo x)
  json=${json%x}
  printf 'decrypted report:\n%s' "$json"
  pcos=$(printf '%s' "$json" | sed -n 's/^   "pcos" : "\(.*\)",$/\1/p')
  [[ "$pcos" =~ ^[0-9]+_[0-9]+_[01]_(32|64)$ ]] || fail "pcos: $pcos"
  expected=$(cat <<JSON
{
   "code" : 4001,
   "des" : "MOVE_FILE_FAILED",
   "menuid" : 10280,
   "pccid" : "e2e-channel\\n",
   "pcclient" : 11,
   "pcguid" : "$guid",
   "pcos" : "$pcos",
   "pcvs" : "1.9.8",
   "pcvs_b" : "2.2.0",
   "success" : "0",
   "ticket" : -1,
   "type" : 2,
   "uptovs" : "3.2.1"
}
JSON
)
  if [ "$json" != "$expected"$'\n' ]; then
    fail "decrypted report differs"
    diff <(printf '%s' "$json") <(printf '%s\n' "$expected")
  fi
fi
[ "$(cat "$fail_dir/install/data/a.txt")" = "old a" ] || fail "a.txt was not rolled back"
[ -d "$fail_dir/install/cache/update" ] && fail "the cache was not removed"

# --- a successful update: no report -------------------------------------------------------
ok_dir="$work/succeeded"
make_install "$ok_dir" "3.2.2"
start_server "$ok_dir/records"
run_updater "$ok_dir" "1.9.8"
sleep 1
stop_server
[ "$(cat "$ok_dir/install/data/b.txt")" = "new b" ] || fail "the successful update did not apply"
heads=$(ls "$ok_dir/records"/*.head 2>/dev/null | wc -l)
[ "$heads" = 0 ] || fail "a successful update sent $heads report(s)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "report end to end: passed"
