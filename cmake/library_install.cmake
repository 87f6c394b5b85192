# The image module and the text utilities as an installable shared library,
# libquorvane (SONAME libquorvane.so.1), with its C headers under
# include/quorvane and a pkg-config file, so that C programs can use them
# with `pkg-config quorvane`. Install components: `library` (the shared
# object) and `library-dev` (headers, the .so link, quorvane.pc).
include(GNUInstallDirs)

# The trace file is the filter's own; the library leaves it out.
set(QUORVANE_LIBRARY_SOURCES ${QUORVANE_IMAGE_SOURCES})
list(FILTER QUORVANE_LIBRARY_SOURCES EXCLUDE REGEX "/utils/trace_file\\.cpp$")

add_library(quorvane_shared SHARED ${QUORVANE_LIBRARY_SOURCES})
# Only the C API leaves the library: everything is hidden but what the public
# headers declare (see c_linkage.h), and the version script names the same
# symbols under the version node QUORVANE_1.
set(QUORVANE_LIBRARY_MAP ${CMAKE_CURRENT_LIST_DIR}/libquorvane.map)
set_target_properties(quorvane_shared PROPERTIES
    OUTPUT_NAME quorvane
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${QUORVANE_LIBRARY_MAP})
target_link_options(quorvane_shared PRIVATE "LINKER:--version-script=${QUORVANE_LIBRARY_MAP}")
if(NOT QUORVANE_SANITIZE)
  # Every library it needs is named in it (the sanitizer runtimes are the
  # executable's).
  target_link_options(quorvane_shared PRIVATE "LINKER:--no-undefined")
endif()
target_include_directories(quorvane_shared
    PUBLIC
      $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/imgprocess>
      $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/utils>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quorvane>
    PRIVATE ${JBIG_INCLUDE_DIR})
target_link_libraries(quorvane_shared PRIVATE ${JBIG_LIBRARY})

install(TARGETS quorvane_shared
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
                COMPONENT library
                NAMELINK_COMPONENT library-dev)

# The public headers: img2esccmd.h, what it includes (keeping their paths
# relative to it) and the text utilities beside it. The C++-only headers of
# the implementation stay behind.
set(QUORVANE_PUBLIC_HEADERS
    c_linkage.h img2esccmd.h
    prepare/blank_line_striping.h prepare/gray_geometry.h
    binarize/ordered_dithering.h binarize/error_diffusion.h binarize/pixel_format.h
    encode/banded_raster_cmd.h encode/compressed_raster_cmd.h encode/jbig_raster_cmd.h
    encode/label_print_cmd.h encode/tspl_print_cmd.h encode/orx_print_cmd.h
    escpos/image_depth.h escpos/image1_raster_cmd.h escpos/multi_line_raster_cmd.h
    escpos/raster_overbound.h escpos/vertical_raster_image.h escpos/raster_to_image1.h
    escpos/column_image_cmd.h escpos/tm88iv_cmd.h)
foreach(header ${QUORVANE_PUBLIC_HEADERS})
  get_filename_component(subdir ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/imgprocess/${header}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvane/${subdir}
          COMPONENT library-dev)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/utils/text_utils.h ${CMAKE_SOURCE_DIR}/utils/hex_decode.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvane
        COMPONENT library-dev)

# The .pc file is configured when installing, so that it names the prefix
# actually installed to (cmake --install --prefix included).
set(QUORVANE_PC_FILE ${CMAKE_BINARY_DIR}/pkgconfig/quorvane.pc)
install(CODE "
  set(QV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(QV_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(QV_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(QV_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/quorvane.pc.in\" \"${QUORVANE_PC_FILE}\" @ONLY)
" COMPONENT library-dev)
install(FILES ${QUORVANE_PC_FILE}
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT library-dev)

if(QUORVANE_BUILD_TESTS)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME library_exports
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/library/check_library.py
                   ${CMAKE_BINARY_DIR} ${CMAKE_C_COMPILER})
  set_tests_properties(library_exports PROPERTIES ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endif()
