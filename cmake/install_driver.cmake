# Install rules, one CMake component per Debian binary package (debian/rules
# installs each component into its package):
#
#   driver   printer-driver-quorvane  the filter where the scheduler looks for
#                                     filters, the PPDs where `lpinfo -m` finds them
#   tools    quorvane-tools           quorvane-preview, quorvane-make-raster,
#                                     quorvane-virtual-printer and
#                                     their manual pages
#   library, library-dev              libquorvane1, libquorvane-dev
#                                     (cmake/library_install.cmake)
#
#   cmake --install BUILD --component driver     (as root; destinations are absolute)

include(GNUInstallDirs)

# CUPS looks for filters in $(cups-config --serverbin)/filter.
find_program(CUPS_CONFIG_EXECUTABLE cups-config)
set(_qv_serverbin /usr/lib/cups)
if(CUPS_CONFIG_EXECUTABLE)
  execute_process(COMMAND ${CUPS_CONFIG_EXECUTABLE} --serverbin
                  OUTPUT_VARIABLE _qv_serverbin_out OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _qv_serverbin_rc)
  if(_qv_serverbin_rc EQUAL 0 AND _qv_serverbin_out)
    set(_qv_serverbin ${_qv_serverbin_out})
  endif()
endif()
set(QUORVANE_CUPS_FILTER_DIR ${_qv_serverbin}/filter CACHE PATH
    "Directory the filter is installed to (absolute: the scheduler's filter directory)")
set(QUORVANE_PPD_INSTALL_DIR /usr/share/ppd/quorvane CACHE PATH
    "Directory the PPDs are installed to (absolute: where cups-driverd finds PPDs)")

# The scheduler refuses filters that are not root-owned or are writable by
# group or others; installing as root gives root ownership.
install(TARGETS quorvane
        RUNTIME DESTINATION ${QUORVANE_CUPS_FILTER_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
        COMPONENT driver)
install(FILES ${QUORVANE_PPD_FILES}
        DESTINATION ${QUORVANE_PPD_INSTALL_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        COMPONENT driver)

# The manual pages carry the project version.
foreach(tool quorvane-preview quorvane-make-raster quorvane-virtual-printer)
  configure_file(${CMAKE_SOURCE_DIR}/man/${tool}.1.in ${CMAKE_BINARY_DIR}/man/${tool}.1 @ONLY)
  install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(FILES ${CMAKE_BINARY_DIR}/man/${tool}.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endforeach()

if(QUORVANE_BUILD_TESTS)
  # debian/changelog names the packages' version; it must be this tree's.
  add_test(NAME debian_changelog_version
           COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${CMAKE_SOURCE_DIR}/debian/changelog
                   -DVERSION=${PROJECT_VERSION}
                   -P ${CMAKE_CURRENT_LIST_DIR}/check_changelog_version.cmake)
endif()
# Not in a cross build: cupsfilter and the scheduler are the host's and start
# the filter themselves, which they cannot do with a foreign binary, and the
# Debian package is built and installed for the host only.
if(QUORVANE_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  # Whole jobs through the real CUPS machinery, and the installation.
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/cups ${CMAKE_BINARY_DIR}/tests/cups)
endif()
