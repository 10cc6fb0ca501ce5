# Links Ceres' whole dependency stack (glog, gflags, SuiteSparse, CXSparse,
# LAPACK/ATLAS, the Fortran and OpenMP runtimes), GeographicLib, expat and
# libstdc++ statically.
#
# Why: the tool runs once per call, and with the shared stack the dynamic
# loader maps and relocates about 25 libraries before main(), which is
# most of the time of a small run. Only the C runtime, libm, libunwind
# (for glog) and METIS (Debian ships no static METIS) stay shared.
#
# Must be included before find_package(Ceres): it selects gflags' static
# target and then rewrites the imported targets' link interfaces.

set(GFLAGS_SHARED FALSE)

# Each archive comes with the Debian 12 package that ships it, so that a
# missing one names what to install (scripts/install-deps installs them all).
function(geoanchor_missing_static what package)
  message(FATAL_ERROR "${what} not found: install the Debian package "
                      "${package} (apt-get install ${package}, or run "
                      "scripts/install-deps), or configure with "
                      "-DGEOANCHOR_STATIC_DEPS=OFF to link shared libraries")
endfunction()

macro(geoanchor_static_lib var name package)
  find_library(${var} NAMES lib${name}.a)
  if(NOT ${var})
    geoanchor_missing_static("static lib${name}.a" ${package})
  endif()
endmacro()

macro(geoanchor_static_runtime var name package)
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${name}.a
    OUTPUT_VARIABLE ${var} OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${${var}}")
    geoanchor_missing_static("lib${name}.a" ${package})
  endif()
endmacro()

macro(geoanchor_shared_lib var package)
  find_library(${var} NAMES ${ARGN})
  if(NOT ${var})
    geoanchor_missing_static("${ARGV2}" ${package})
  endif()
endmacro()

function(geoanchor_use_static_dependencies)
  geoanchor_static_lib(GEOANCHOR_GLOG_A glog libgoogle-glog-dev)
  geoanchor_static_lib(GEOANCHOR_GFLAGS_A gflags libgflags-dev)
  geoanchor_static_lib(GEOANCHOR_SPQR_A spqr libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_CHOLMOD_A cholmod libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_AMD_A amd libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_CAMD_A camd libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_COLAMD_A colamd libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_CCOLAMD_A ccolamd libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_SSCONFIG_A suitesparseconfig libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_CXSPARSE_A cxsparse libsuitesparse-dev)
  geoanchor_static_lib(GEOANCHOR_LAPACK_A lapack libatlas-base-dev)
  geoanchor_static_lib(GEOANCHOR_F77BLAS_A f77blas libatlas-base-dev)
  geoanchor_static_lib(GEOANCHOR_ATLAS_A atlas libatlas-base-dev)
  geoanchor_static_lib(GEOANCHOR_BLAS_A blas libatlas-base-dev)
  geoanchor_static_runtime(GEOANCHOR_GFORTRAN_A gfortran libgfortran-12-dev)
  geoanchor_static_runtime(GEOANCHOR_QUADMATH_A quadmath libgcc-12-dev)
  geoanchor_static_runtime(GEOANCHOR_GOMP_A gomp libgcc-12-dev)
  geoanchor_shared_lib(GEOANCHOR_METIS_SO libmetis5 metis libmetis.so.5)
  geoanchor_shared_lib(GEOANCHOR_UNWIND_SO libunwind-dev unwind)

  # One rescanned group: these archives refer to each other in cycles.
  set(group
      ${GEOANCHOR_CERES_A} ${GEOANCHOR_GLOG_A} ${GEOANCHOR_GFLAGS_A}
      ${GEOANCHOR_SPQR_A} ${GEOANCHOR_CHOLMOD_A} ${GEOANCHOR_AMD_A}
      ${GEOANCHOR_CAMD_A} ${GEOANCHOR_COLAMD_A} ${GEOANCHOR_CCOLAMD_A}
      ${GEOANCHOR_SSCONFIG_A} ${GEOANCHOR_CXSPARSE_A} ${GEOANCHOR_LAPACK_A}
      ${GEOANCHOR_F77BLAS_A} ${GEOANCHOR_ATLAS_A} ${GEOANCHOR_BLAS_A}
      ${GEOANCHOR_GFORTRAN_A} ${GEOANCHOR_QUADMATH_A} ${GEOANCHOR_GOMP_A})
  list(JOIN group "," group_text)
  set_target_properties(Ceres::ceres PROPERTIES INTERFACE_LINK_LIBRARIES
    "$<LINK_GROUP:RESCAN,${group_text}>;Threads::Threads;${GEOANCHOR_METIS_SO};${GEOANCHOR_UNWIND_SO};rt;Eigen3::Eigen")
  add_link_options(-static-libstdc++ -static-libgcc)
endfunction()

# GeographicLib's archive, which Debian ships beside its shared library:
# GEOGRAPHICLIB_LIBRARY names it for every target that links GeographicLib.
macro(geoanchor_static_geographiclib)
  geoanchor_static_lib(GEOANCHOR_GEOGRAPHICLIB_A GeographicLib
                       libgeographiclib-dev)
  set(GEOGRAPHICLIB_LIBRARY ${GEOANCHOR_GEOGRAPHICLIB_A})
endmacro()

# expat's archive, which Debian ships beside its shared library:
# EXPAT_LIBRARY names it to find_package(EXPAT), and so to EXPAT::EXPAT.
# Must come before find_package(EXPAT).
macro(geoanchor_static_expat)
  geoanchor_static_lib(GEOANCHOR_EXPAT_A expat libexpat1-dev)
  set(EXPAT_LIBRARY ${GEOANCHOR_EXPAT_A})
endmacro()
