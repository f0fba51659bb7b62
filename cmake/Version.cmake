# The version is set once, in project(); everything that shows it is made from it here: the header
# that the program and the service include, and (in assets/) the manual pages, the AppStream
# metainfo and the Debian changelog. The courier count comes from the courier table itself, one row
# a line, so the package's description cannot disagree with the program.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/core/couriertable.cpp zjx_courier_rows REGEX "^    \\{\"")
list(LENGTH zjx_courier_rows ZJX_COURIER_COUNT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/core/couriertable.cpp)
configure_file(${CMAKE_CURRENT_LIST_DIR}/zjxversion.h.in ${PROJECT_BINARY_DIR}/generated/zjxversion.h @ONLY)

add_library(zjx_version INTERFACE)
target_include_directories(zjx_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
