# data/QUENDApair.lib, the sampling pair table (about 70 MB of text), is kept in
# the repository compressed as data/QUENDApair.lib.gz (gzip without name or
# time stamp). The build expands it into data/QUENDApair.lib, where the
# program reads it, whenever the compressed file is newer than the plain one.
add_executable(lorvane_expand_gz ${PROJECT_SOURCE_DIR}/cmake/expand_gz.cpp)
target_link_libraries(lorvane_expand_gz PRIVATE ZLIB::ZLIB)

set(LORVANE_QUENDA_PAIR_GZ ${PROJECT_SOURCE_DIR}/data/QUENDApair.lib.gz)
set(LORVANE_QUENDA_PAIR ${PROJECT_SOURCE_DIR}/data/QUENDApair.lib)
add_custom_command(
  OUTPUT ${LORVANE_QUENDA_PAIR}
  COMMAND lorvane_expand_gz ${LORVANE_QUENDA_PAIR_GZ} ${LORVANE_QUENDA_PAIR}
  DEPENDS ${LORVANE_QUENDA_PAIR_GZ}
  COMMENT "Expanding data/QUENDApair.lib.gz"
  VERBATIM)
if(EXISTS ${LORVANE_QUENDA_PAIR_GZ})
  add_custom_target(lorvane_quenda_pair_table ALL DEPENDS ${LORVANE_QUENDA_PAIR})
else()
  message(STATUS "data/QUENDApair.lib.gz not found: run lorvane-params derive (or pairs), then re-run cmake")
endif()
