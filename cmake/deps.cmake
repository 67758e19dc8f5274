# The five third-party libraries, as imported targets zr::pugixml, zr::jsoncpp, zr::crypto,
# zr::zlib and zr::stb.
#
# Native builds take Debian's -dev packages. The mingw builds take pugixml, jsoncpp and
# OpenSSL libcrypto from the cache that scripts/setup.sh fills (ZR_DEPS_CACHE, default
# ~/.cache/zrupdater-deps/<triplet>/<package>), zlib from libz-mingw-w64-dev and stb_image's
# header from libstb-dev (copied alone into the build tree, so that no Linux header is on a
# Windows include path).

set(ZR_STB_DIR "${CMAKE_BINARY_DIR}/third_party/stb")
if(NOT EXISTS /usr/include/stb/stb_image.h)
  message(FATAL_ERROR "stb_image.h not found: run scripts/setup.sh (package libstb-dev)")
endif()
file(COPY /usr/include/stb/stb_image.h DESTINATION "${ZR_STB_DIR}")
add_library(zr::stb INTERFACE IMPORTED)
set_target_properties(zr::stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${ZR_STB_DIR}")

function(zr_static_dep name include lib)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${lib}"
                                           INTERFACE_INCLUDE_DIRECTORIES "${include}")
endfunction()

if(WIN32)
  if(DEFINED ENV{ZR_DEPS_CACHE})
    set(ZR_DEPS_CACHE "$ENV{ZR_DEPS_CACHE}")
  else()
    set(ZR_DEPS_CACHE "$ENV{HOME}/.cache/zrupdater-deps")
  endif()
  set(cache "${ZR_DEPS_CACHE}/${ZR_TRIPLET}")
  foreach(p pugixml jsoncpp openssl)
    if(NOT EXISTS "${cache}/${p}/.built")
      message(FATAL_ERROR "${p} for ${ZR_TRIPLET} is not in ${cache}: run scripts/setup.sh")
    endif()
  endforeach()
  zr_static_dep(zr::pugixml "${cache}/pugixml/include" "${cache}/pugixml/lib/libpugixml.a")
  zr_static_dep(zr::jsoncpp "${cache}/jsoncpp/include" "${cache}/jsoncpp/lib/libjsoncpp.a")
  # The shipped exe's lean jsoncpp (a "-lean" recipe of scripts/setup.sh) has no stream writers;
  # code that would use them can tell.
  file(REAL_PATH "${cache}/jsoncpp" jsoncpp_dir)
  if(jsoncpp_dir MATCHES "-lean[0-9]*$")
    set_property(TARGET zr::jsoncpp PROPERTY INTERFACE_COMPILE_DEFINITIONS ZR_JSONCPP_NO_STREAM_WRITERS)
  endif()
  zr_static_dep(zr::crypto "${cache}/openssl/include" "${cache}/openssl/lib/libcrypto.a")
  set_property(TARGET zr::crypto PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 bcrypt advapi32 user32)
  zr_static_dep(zr::zlib "/usr/${ZR_TRIPLET}/include" "/usr/${ZR_TRIPLET}/lib/libz.a")
else()
  find_package(pugixml CONFIG REQUIRED)
  add_library(zr::pugixml ALIAS pugixml::pugixml)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  add_library(zr::jsoncpp ALIAS PkgConfig::JSONCPP)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  add_library(zr::crypto ALIAS OpenSSL::Crypto)
  find_package(ZLIB REQUIRED)
  add_library(zr::zlib ALIAS ZLIB::ZLIB)
endif()
