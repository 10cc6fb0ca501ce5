# Cross-compiles the fully static ARM64 (aarch64) Linux executable of the
# release tarball with Debian's g++-aarch64-linux-gnu, against the static
# Ceres and gflags that scripts/build-static-deps builds for it (run
# 'make linux-release').
#
#   cmake --preset linux-aarch64         (see CMakePresets.json)
#
# Libraries and packages are looked up only in the cross C library's
# sysroot and in the folders given in CMAKE_FIND_ROOT_PATH, never among the
# x86-64 ones; Eigen (headers only) comes in as Eigen3_DIR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(GEOANCHOR_LINUX_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${GEOANCHOR_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${GEOANCHOR_LINUX_TRIPLET}-g++)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${GEOANCHOR_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The same arithmetic as on x86-64, whose baseline has no fused multiply-add:
# -ffp-contract=off keeps the compiler from fusing, and without the feature
# macro Eigen's NEON packets multiply and add in two roundings too
# (vmlaq_f64, not vfmaq_f64), as its SSE2 packets do. Applies to the
# libraries that scripts/build-static-deps builds and to the tool alike.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off -U__ARM_FEATURE_FMA")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off -U__ARM_FEATURE_FMA")

# Programs built here run under qemu's user-mode emulator (try_run, tests).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
