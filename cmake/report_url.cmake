# Refuses a usage report URL (ZR_REPORT_URL) that the updater cannot send to: it speaks HTTP
# and HTTPS only (the scheme in any case), and needs a host. Included by the top CMakeLists.txt
# once the cache variable is set; it runs alone too:
#   cmake -DZR_REPORT_URL=<url> -P cmake/report_url.cmake
string(TOLOWER "${ZR_REPORT_URL}" zr_report_url_lower)
if(NOT zr_report_url_lower MATCHES "^https?://([^][/?#:@ ]+|\\[[0-9a-f:.]+\\])(:[0-9]+)?([/?#].*)?$")
  message(FATAL_ERROR
    "ZR_REPORT_URL must be an absolute http:// or https:// URL with a host, such as "
    "https://stats.example.com/log/info/uploadLog.go?type=2 (got \"${ZR_REPORT_URL}\"). "
    "The usage report is sent over HTTP, or over TLS for https; no other scheme is supported.")
endif()
unset(zr_report_url_lower)
