# Builds the fully static x86-64 Linux executable of the release tarball
# with Debian's x86-64 g++, against the static Ceres and gflags that
# scripts/build-static-deps builds with this same file (run
# 'make linux-release').
#
#   cmake --preset linux-x86_64          (see CMakePresets.json)
#
# The machine builds for itself, so nothing is cross-compiled; the preset
# names the Ceres, gflags and Eigen packages to use by folder, so that
# Debian's shared Ceres stack is never picked up.
set(GEOANCHOR_LINUX_TRIPLET x86_64-linux-gnu)
set(CMAKE_C_COMPILER ${GEOANCHOR_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${GEOANCHOR_LINUX_TRIPLET}-g++)
