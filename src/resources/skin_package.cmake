# The skin package: the documents and pictures of src/resources/skin packed into one zip at
# build time (tools/skin_packer/pack_skin.py) and built into the exe as resource "ZIPRES" 108,
# language 2052. The packer owns the list of entries; the build asks it for that list so that
# the zip is packed again whenever one of them changes. The pictures' 150 % and 200 %
# renderings are rendered from their SVG sources here (skin/render.sh, with rsvg-convert,
# which scripts/setup.sh installs) and packed after them.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
find_program(ZR_RSVG_CONVERT rsvg-convert)
if(NOT ZR_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert is missing: run scripts/setup.sh (Debian package librsvg2-bin)")
endif()

set(ZR_SKIN_DIR "${CMAKE_CURRENT_SOURCE_DIR}/skin")
set(ZR_SKIN_PACKER "${PROJECT_SOURCE_DIR}/tools/skin_packer/pack_skin.py")
set(ZR_SKIN_ZIP "${CMAKE_CURRENT_BINARY_DIR}/skin.zip")
set(ZR_SKIN_RENDER "${ZR_SKIN_DIR}/render.sh")
set(ZR_SKIN_VARIANTS_DIR "${CMAKE_CURRENT_BINARY_DIR}/skin_variants")

# zr_skin_list(VAR FOLDER COMMAND...): the file names COMMAND prints, one a line, in FOLDER.
function(zr_skin_list var folder)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE names RESULT_VARIABLE result
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR names STREQUAL "")
    message(FATAL_ERROR "${ARGN} failed (${result})")
  endif()
  string(REPLACE "\n" ";" names "${names}")
  list(TRANSFORM names PREPEND "${folder}/")
  set(${var} "${names}" PARENT_SCOPE)
endfunction()

zr_skin_list(zr_skin_variants "${ZR_SKIN_VARIANTS_DIR}" bash "${ZR_SKIN_RENDER}" --list-variants)
file(GLOB zr_skin_svgs "${ZR_SKIN_DIR}/svg/*.svg")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZR_SKIN_RENDER}")
add_custom_command(
  OUTPUT ${zr_skin_variants}
  COMMAND bash "${ZR_SKIN_RENDER}" --variants "${ZR_SKIN_VARIANTS_DIR}"
  DEPENDS "${ZR_SKIN_RENDER}" ${zr_skin_svgs}
  COMMENT "Rendering the skin pictures at 150 % and 200 %"
  VERBATIM)

zr_skin_list(zr_skin_entries "${ZR_SKIN_DIR}" "${Python3_EXECUTABLE}" "${ZR_SKIN_PACKER}" --list)
# A changed entry list means a changed input list: configure again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZR_SKIN_PACKER}")

add_custom_command(
  OUTPUT "${ZR_SKIN_ZIP}"
  COMMAND "${Python3_EXECUTABLE}" "${ZR_SKIN_PACKER}" "${ZR_SKIN_DIR}" "${ZR_SKIN_ZIP}"
          --variants "${ZR_SKIN_VARIANTS_DIR}"
  DEPENDS "${ZR_SKIN_PACKER}" ${zr_skin_entries} ${zr_skin_variants}
  COMMENT "Packing the skin package"
  VERBATIM)
add_custom_target(zr_skin_package ALL DEPENDS "${ZR_SKIN_ZIP}")

list(APPEND ZR_RESOURCE_DEPENDS zr_skin_package)
list(APPEND ZR_RC_LINES "LANGUAGE 4, 2" "108 ZIPRES \"${ZR_SKIN_ZIP}\"")
# The resource compiler does not see into the zip: compile the .rc again when it changes.
set_property(SOURCE "${CMAKE_CURRENT_BINARY_DIR}/zrUpdater.rc"
  DIRECTORY "${PROJECT_SOURCE_DIR}/src"
  APPEND PROPERTY OBJECT_DEPENDS "${ZR_SKIN_ZIP}")

# The package tests read the packed zip from the build tree ($ZR_BUILD_DIR/src/resources/
# skin.zip): building them builds the package. The tests are defined after this folder, hence
# deferred.
function(zr_skin_package_before_its_tests)
  if(TARGET test_resources)
    add_dependencies(test_resources zr_skin_package)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY "${PROJECT_SOURCE_DIR}" CALL zr_skin_package_before_its_tests)
