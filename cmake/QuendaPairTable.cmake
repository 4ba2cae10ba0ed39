# The program's tables, complete, in the build tree: build/data holds a link to
# every table of data/ and QUENDApair.lib, the sampling pair table (about 70 MB
# of text), which the repository keeps compressed as data/QUENDApair.lib.gz
# (gzip without name or time stamp) and the build expands here, never into the
# source tree, whenever the compressed file is newer. `cmake --install` copies
# the same set to <prefix>/share/lorvane/data.
add_executable(lorvane_expand_gz ${PROJECT_SOURCE_DIR}/cmake/expand_gz.cpp)
target_link_libraries(lorvane_expand_gz PRIVATE ZLIB::ZLIB)

set(LORVANE_BUILD_DATA ${PROJECT_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${LORVANE_BUILD_DATA})
file(GLOB LORVANE_TABLES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*)
list(FILTER LORVANE_TABLES EXCLUDE REGEX "/QUENDApair\\.lib(\\.gz)?$")
foreach(table IN LISTS LORVANE_TABLES)
  get_filename_component(name ${table} NAME)
  file(CREATE_LINK ${table} ${LORVANE_BUILD_DATA}/${name} SYMBOLIC)
endforeach()

set(LORVANE_QUENDA_PAIR_GZ ${PROJECT_SOURCE_DIR}/data/QUENDApair.lib.gz)
set(LORVANE_QUENDA_PAIR ${LORVANE_BUILD_DATA}/QUENDApair.lib)
add_custom_command(
  OUTPUT ${LORVANE_QUENDA_PAIR}
  COMMAND lorvane_expand_gz ${LORVANE_QUENDA_PAIR_GZ} ${LORVANE_QUENDA_PAIR}
  DEPENDS ${LORVANE_QUENDA_PAIR_GZ}
  COMMENT "Expanding data/QUENDApair.lib.gz into the build tree"
  VERBATIM)
if(EXISTS ${LORVANE_QUENDA_PAIR_GZ})
  add_custom_target(lorvane_quenda_pair_table ALL DEPENDS ${LORVANE_QUENDA_PAIR})
else()
  message(STATUS "data/QUENDApair.lib.gz not found: run lorvane-params derive (or pairs), then re-run cmake")
endif()

include(GNUInstallDirs)
install(FILES ${LORVANE_TABLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/lorvane/data)
install(FILES ${LORVANE_QUENDA_PAIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/lorvane/data OPTIONAL)
