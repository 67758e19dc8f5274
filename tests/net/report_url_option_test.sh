#!/usr/bin/env bash
# The report URL build option: http and https URLs with a host are taken, any other scheme
# (or no host) stops the configuration with an error that names the option.
#
#   report_url_option_test.sh BUILD_DIR SOURCE_DIR
set -u
source_dir=$(cd "$2" && pwd)
check="$source_dir/cmake/report_url.cmake"
failures=0

while IFS='|' read -r url expected; do
  output=$(cmake -DZR_REPORT_URL="$url" -P "$check" 2>&1)
  if [ $? = 0 ]; then got=taken; else got=refused; fi
  if [ "$got" != "$expected" ]; then
    echo "FAIL: $url: $got, expected $expected"; failures=$((failures + 1))
  elif [ "$got" = refused ] && ! grep -q 'ZR_REPORT_URL must be an absolute http:// or https://' <<<"$output"; then
    echo "FAIL: $url: refused without naming the option: $output"; failures=$((failures + 1))
  fi
done <<'TABLE'
http://report.example.invalid/log/info/uploadLog.go?type=2|taken
https://stats.example.com/log/info/uploadLog.go?type=2|taken
HTTPS://Stats.Example.com:8443/log|taken
http://127.0.0.1:8080/|taken
https://[::1]/x|taken
ftp://stats.example.com/log|refused
file:///C:/log.txt|refused
stats.example.com/log/info/uploadLog.go|refused
https:///log|refused
http://user@stats.example.com/log|refused
http://stats.example.com:port/log|refused
|refused
TABLE

# The project's own configuration stops at once on such a URL.
work=$(mktemp -d "${TMPDIR:-/tmp}/zr-report-url.XXXXXX")
trap 'rm -rf "$work"' EXIT
if output=$(cmake -S "$source_dir" -B "$work" -DZR_REPORT_URL='ftp://stats.example.com/log' 2>&1); then
  echo "FAIL: the project configured with an ftp:// report URL"; failures=$((failures + 1))
elif ! grep -q 'ZR_REPORT_URL must be' <<<"$output"; then
  echo "FAIL: the configuration failed for another reason: $output"; failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "report URL option: passed"
