# The string table document, with the official site's host filled in, as resource "LANG" 107
# (language 2052). The document keeps its CR LF line ends byte for byte.
# (src/CMakeLists.txt configures it into ZR_STRINGS_XML, for the native build's copy too.)
list(APPEND ZR_RC_LINES "LANGUAGE 4, 2" "107 LANG \"${ZR_STRINGS_XML}\"")
# The resource compiler reads the document: a changed text rebuilds the resource.
set_property(SOURCE "${CMAKE_CURRENT_BINARY_DIR}/zrUpdater.rc"
  DIRECTORY "${PROJECT_SOURCE_DIR}/src"
  APPEND PROPERTY OBJECT_DEPENDS "${ZR_STRINGS_XML}")
