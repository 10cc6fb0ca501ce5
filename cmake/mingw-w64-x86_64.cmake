# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the posix
# thread model, which Ceres' std::thread and std::mutex need).
#
#   cmake --preset windows          (see CMakePresets.json)
#
# Libraries and packages are looked up only in the mingw-w64 sysroot and in
# the folders given in CMAKE_FIND_ROOT_PATH, never among the Linux ones;
# Eigen (headers only) is passed in explicitly as Eigen3_DIR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GEOANCHOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GEOANCHOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GEOANCHOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${GEOANCHOR_MINGW_TRIPLET}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${GEOANCHOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine (try_run, tests).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
