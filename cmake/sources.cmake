# Every build compiles the same tree. Windows-only files end in _win.cpp (tests: _win_test.cpp)
# and are picked here, so that no function body needs an #ifdef.
function(zr_glob_sources out dir)
  file(GLOB files CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(kept "")
  foreach(f IN LISTS files)
    get_filename_component(name "${f}" NAME_WE)
    if(name MATCHES "_win(_test)?$")
      if(WIN32)
        list(APPEND kept "${f}")
      endif()
    elseif(name MATCHES "_native(_test)?$")
      if(NOT WIN32)
        list(APPEND kept "${f}")
      endif()
    else()
      list(APPEND kept "${f}")
    endif()
  endforeach()
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

# Warnings and platform definitions shared by our own targets.
#
# A Windows Release build (the shipped exe) compiles for size with -Os (given after CMake's -O3,
# and the last -O counts: the program waits on the disk, the network and the user, and its one
# loop over many pixels, the skin's canvas, keeps -O2, see src/CMakeLists.txt), with full debug
# information (moved into a symbol file beside the exe when it is linked) and with one section
# per function and datum, so that the linker can drop what nothing uses.
function(zr_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(WIN32)
    target_compile_options(${target} PRIVATE
      "$<$<CONFIG:Release>:-Os;-g;-ffunction-sections;-fdata-sections>")
    # C99 printf family everywhere, so that truncation and "%s" behave as on the native build.
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                               _WIN32_WINNT=0x0601 WINVER=0x0601 __USE_MINGW_ANSI_STDIO=1)
  endif()
endfunction()

# Windows test programs run under Wine with the build's own prefix, a 64-bit one in both
# Windows builds: the 32-bit build's programs run there through WoW64, as the shipped exe runs
# on 64-bit Windows. They need a machine that runs 32-bit code: scripts/run-32bit.sh starts
# them where it does and reports them skipped (exit 77, SKIP_RETURN_CODE) where it does not.
if(WIN32)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(PREPEND CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/run-32bit.sh")
  endif()
endif()

# The build folder whose helper programs (stand-in product, report server, probes) the Windows
# tests start. The 32-bit build's preset names the 64-bit build's, so that the shipped updater
# is tested beside a 64-bit product, as on 64-bit Windows; the tests in a 32-bit prefix, and
# every other build, use their own.
set(ZR_HELPER_BUILD_DIR "${CMAKE_BINARY_DIR}" CACHE PATH
    "Build folder whose tools/ the Windows tests start beside the updater")
