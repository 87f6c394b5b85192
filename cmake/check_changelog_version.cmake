# Fails when the newest entry of debian/changelog (CHANGELOG) is for another
# upstream version than VERSION, the project version: the packages would
# carry a version the library and tools do not report.
file(STRINGS ${CHANGELOG} first LIMIT_COUNT 1)
# "quorvane (EPOCH:UPSTREAM-REVISION) DIST; urgency=..."
if(NOT first MATCHES "^[a-z0-9.+-]+ \\(([0-9]+:)?([^)]+)\\)")
  message(FATAL_ERROR "cannot read the version in the first line of ${CHANGELOG}: ${first}")
endif()
set(package_version "${CMAKE_MATCH_2}")
string(REGEX REPLACE "-[^-]*$" "" upstream "${package_version}")
if(NOT upstream STREQUAL VERSION)
  message(FATAL_ERROR "debian/changelog is at ${package_version} (upstream ${upstream}), "
                      "CMakeLists.txt at ${VERSION}: add a changelog entry for ${VERSION}")
endif()
message(STATUS "debian/changelog and CMakeLists.txt agree on ${VERSION}")
