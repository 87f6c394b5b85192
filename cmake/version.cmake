# The version has one source, project() in CMakeLists.txt: the packages, the
# pkg-config file and the tools' --version all take it from there.
# quorvane_version gives a target the configured header quorvane_version.h.
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvane_version.h.in
               ${CMAKE_BINARY_DIR}/generated/quorvane_version.h @ONLY)
add_library(quorvane_version INTERFACE)
target_include_directories(quorvane_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# debian/rules passes the version debian/changelog gives the packages; a
# package is not built under another version than the tree's.
set(QUORVANE_PACKAGE_VERSION "" CACHE STRING
    "Upstream version of the Debian package being built (must equal the project version)")
if(QUORVANE_PACKAGE_VERSION AND NOT QUORVANE_PACKAGE_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "debian/changelog gives version ${QUORVANE_PACKAGE_VERSION}, "
                      "CMakeLists.txt ${PROJECT_VERSION}: add a changelog entry for ${PROJECT_VERSION}")
endif()
