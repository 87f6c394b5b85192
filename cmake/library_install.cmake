# The image module and the text utilities as an installable shared library,
# libquorvane, with its C headers under include/quorvane and a pkg-config
# file, so that C programs can use them with `pkg-config quorvane`.
include(GNUInstallDirs)

add_library(quorvane_shared SHARED ${QUORVANE_IMAGE_SOURCES})
set_target_properties(quorvane_shared PROPERTIES
    OUTPUT_NAME quorvane
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(quorvane_shared
    PUBLIC
      $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/imgprocess>
      $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/utils>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quorvane>
    PRIVATE ${JBIG_INCLUDE_DIR})
target_link_libraries(quorvane_shared PRIVATE ${JBIG_LIBRARY})

install(TARGETS quorvane_shared
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)

# The public headers keep their paths relative to img2esccmd.h; the text
# utilities sit beside it, where img2esccmd.h finds them. Internal C++
# headers are .hpp and stay behind.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/imgprocess/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvane
        COMPONENT library
        FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_SOURCE_DIR}/utils/text_utils.h ${CMAKE_SOURCE_DIR}/utils/hex_decode.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvane
        COMPONENT library)

# The .pc file is configured when installing, so that it names the prefix
# actually installed to (cmake --install --prefix included).
set(QUORVANE_PC_FILE ${CMAKE_BINARY_DIR}/pkgconfig/quorvane.pc)
install(CODE "
  set(QV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(QV_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(QV_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(QV_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/quorvane.pc.in\" \"${QUORVANE_PC_FILE}\" @ONLY)
" COMPONENT library)
install(FILES ${QUORVANE_PC_FILE}
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT library)
