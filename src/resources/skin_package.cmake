# The skin package: the documents and pictures of src/resources/skin packed into one zip at
# build time (tools/skin_packer/pack_skin.py) and built into the exe as resource "ZIPRES" 108,
# language 2052. The packer owns the list of entries; the build asks it for that list so that
# the zip is packed again whenever one of them changes.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(ZR_SKIN_DIR "${CMAKE_CURRENT_SOURCE_DIR}/skin")
set(ZR_SKIN_PACKER "${PROJECT_SOURCE_DIR}/tools/skin_packer/pack_skin.py")
set(ZR_SKIN_ZIP "${CMAKE_CURRENT_BINARY_DIR}/skin.zip")

execute_process(COMMAND "${Python3_EXECUTABLE}" "${ZR_SKIN_PACKER}" --list
                OUTPUT_VARIABLE zr_skin_entries RESULT_VARIABLE zr_skin_list_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT zr_skin_list_result EQUAL 0 OR zr_skin_entries STREQUAL "")
  message(FATAL_ERROR "pack_skin.py --list failed (${zr_skin_list_result})")
endif()
string(REPLACE "\n" ";" zr_skin_entries "${zr_skin_entries}")
list(TRANSFORM zr_skin_entries PREPEND "${ZR_SKIN_DIR}/")
# A changed entry list means a changed input list: configure again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZR_SKIN_PACKER}")

add_custom_command(
  OUTPUT "${ZR_SKIN_ZIP}"
  COMMAND "${Python3_EXECUTABLE}" "${ZR_SKIN_PACKER}" "${ZR_SKIN_DIR}" "${ZR_SKIN_ZIP}"
  DEPENDS "${ZR_SKIN_PACKER}" ${zr_skin_entries}
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
