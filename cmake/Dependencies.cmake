# --- Filter: GSL (Levenberg-Marquardt side-chain refinement) and OpenBLAS (sgemm of the
# diversity clustering). OpenBLAS goes first on the link line and GSL's own reference
# CBLAS (libgslcblas) is left out, so that GSL's and our BLAS calls bind to OpenBLAS.
find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(LORVANE_OPENBLAS IMPORTED_TARGET openblas)
endif()
if(LORVANE_OPENBLAS_FOUND)
  set(LORVANE_BLAS_TARGET PkgConfig::LORVANE_OPENBLAS)
else()
  find_library(LORVANE_OPENBLAS_LIB NAMES openblas REQUIRED)
  find_path(LORVANE_OPENBLAS_INCLUDE NAMES cblas.h PATH_SUFFIXES openblas openblas-pthread x86_64-linux-gnu/openblas-pthread REQUIRED)
  add_library(lorvane_openblas INTERFACE)
  target_link_libraries(lorvane_openblas INTERFACE ${LORVANE_OPENBLAS_LIB})
  target_include_directories(lorvane_openblas INTERFACE ${LORVANE_OPENBLAS_INCLUDE})
  set(LORVANE_BLAS_TARGET lorvane_openblas)
endif()
find_library(LORVANE_GSL_LIB NAMES gsl REQUIRED)
find_path(LORVANE_GSL_INCLUDE NAMES gsl/gsl_multifit_nlinear.h REQUIRED)
target_include_directories(lorvane_filter PUBLIC ${LORVANE_GSL_INCLUDE})
target_link_libraries(lorvane_filter PUBLIC ${LORVANE_BLAS_TARGET} ${LORVANE_GSL_LIB} m)

# --- Model: whole entries (PDB, mmCIF, gzipped) are read with gemmi, header-only here;
# its mmCIF parser needs PEGTL and its gzip input zlib.
find_path(LORVANE_GEMMI_INCLUDE NAMES gemmi/model.hpp REQUIRED)
find_path(LORVANE_PEGTL_INCLUDE NAMES tao/pegtl.hpp REQUIRED)
target_include_directories(lorvane_model SYSTEM PUBLIC ${LORVANE_GEMMI_INCLUDE} ${LORVANE_PEGTL_INCLUDE})
target_link_libraries(lorvane_model PUBLIC ZLIB::ZLIB)
