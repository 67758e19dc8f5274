# The application manifest (zrUpdater.manifest) as resource RT_MANIFEST (24) with id 1, the one
# Windows reads when it starts an exe, language neutral. It declares:
#  - requestedExecutionLevel "asInvoker": the updater runs with the rights of whoever starts it.
#    This also turns off Windows' installer detection (an elevation prompt chosen because the
#    name says "Updater") and file virtualisation (writes under Program Files silently
#    redirected elsewhere). An installation the user cannot write to needs the updater started
#    elevated (docs/integrating.md).
#  - the supported systems from Vista to 11: no compatibility shims, and the version functions
#    report the real Windows version (the usage report's "pcos" says 10_0 on Windows 10 and 11).
#  - per-monitor DPI awareness (v2, then v1, then system-wide on Windows 7): the skin engine
#    scales the documents' 96-DPI sizes itself, so the windows are drawn sharp at every scale
#    instead of stretched by the system.
set(ZR_MANIFEST "${CMAKE_CURRENT_SOURCE_DIR}/zrUpdater.manifest")
list(APPEND ZR_RC_LINES "LANGUAGE 0, 0" "1 24 \"${ZR_MANIFEST}\"")
set_property(SOURCE "${CMAKE_CURRENT_BINARY_DIR}/zrUpdater.rc"
  DIRECTORY "${PROJECT_SOURCE_DIR}/src"
  APPEND PROPERTY OBJECT_DEPENDS "${ZR_MANIFEST}")
