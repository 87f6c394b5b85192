# Installs quorvane as a CUPS driver: the filter where the scheduler looks for
# filters, the PPDs where `lpinfo -m` finds them, the preview tool and the
# licence; and packs the same as a Debian package with CPack.
#
#   cmake --install BUILD            (as root; destinations are absolute)
#   cd BUILD && cpack -G DEB         (quorvane_<version>_<arch>.deb)

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
install(TARGETS quorvane-preview
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT driver)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane
        RENAME copyright
        COMPONENT driver)

# Debian package: the driver component only (the library's headers and
# pkg-config file are for developers and stay out of it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "quorvane")
set(CPACK_PACKAGE_CONTACT "quorvane maintainers <quorvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CUPS filter and PPDs for thermal receipt and label printers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL driver)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The chain from PDF to CUPS raster runs through cups-filters and Ghostscript.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups, cups-filters, ghostscript")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CUPS raster filter for ESC/POS receipt printers and TSPL and ORX label printers.\n It binarises CUPS raster pages, saves paper, places the image on the\n printable width and sends ESC/POS, TSPL or ORX commands; PPDs for 80 mm and\n 58 mm receipt printers and for 4 in TSPL and ORX label printers are included,\n with quorvane-preview, which renders a command stream as PNG pictures.")
include(CPack)

# Not in a cross build: cupsfilter and the scheduler are the host's and start
# the filter themselves, which they cannot do with a foreign binary, and the
# Debian package is built and installed for the host only.
if(QUORVANE_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  # Whole jobs through the real CUPS machinery, and the installation.
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/cups ${CMAKE_BINARY_DIR}/tests/cups)
endif()
