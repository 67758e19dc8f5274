# Compiler output is cached outside the checkout by ccache (installed and sized by
# scripts/setup.sh), in ZR_CCACHE_DIR (default ~/.cache/zrupdater-ccache), shared by every
# checkout and build of this machine: a clean clone of an unchanged tree compiles nothing.
# -DZR_CCACHE=OFF builds without it; without ccache installed the builds compile as before.
#
# What a hit across checkouts needs, and where it comes from:
#  - no absolute path of the checkout in what is hashed: ccache's base_dir is the checkout, so
#    it hands the compiler source files and -I folders (the generated headers' too) relative to
#    the build folder, and the same relative paths in every clone;
#  - the same working directory in the debug information: -ffile-prefix-map maps the checkout
#    to ".", and ccache hashes the folder as mapped (ccache leaves the map itself out of the
#    hash), so objects carry no clone's path either;
#  - the compiler told apart by its content, not its time stamp (compiler_check, set in the
#    cache's ccache.conf by scripts/setup.sh).
# GoogleTest's sources (/usr/src/googletest) are the same path on every clone. Nothing uses
# precompiled headers; resource scripts (windres) and links are not cached.
option(ZR_CCACHE "Cache compiler output with ccache (when it is installed)" ON)
if(ZR_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(ZR_CCACHE_PROGRAM ccache)
  if(ZR_CCACHE_PROGRAM)
    if(DEFINED ENV{ZR_CCACHE_DIR})
      set(zr_ccache_dir "$ENV{ZR_CCACHE_DIR}")
    else()
      set(zr_ccache_dir "$ENV{HOME}/.cache/zrupdater-ccache")
    endif()
    set(zr_launcher env "CCACHE_DIR=${zr_ccache_dir}" "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}"
        "${ZR_CCACHE_PROGRAM}")
    set(CMAKE_C_COMPILER_LAUNCHER ${zr_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${zr_launcher})
    add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.")
    unset(zr_launcher)
    unset(zr_ccache_dir)
  endif()
endif()
