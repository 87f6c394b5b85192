# Installs the library into PREFIX, compiles the example against it using
# only pkg-config, and checks that it writes what the in-tree build writes.
file(REMOVE_RECURSE ${PREFIX})
foreach(component library library-dev)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                          --component ${component}
                  RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install of ${component} failed: ${rc}")
  endif()
endforeach()

file(GLOB_RECURSE pc_files ${PREFIX}/*/quorvane.pc)
list(LENGTH pc_files n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "expected one quorvane.pc under ${PREFIX}, found: ${pc_files}")
endif()
get_filename_component(pc_dir ${pc_files} DIRECTORY)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
if(PC_LIBDIR)  # a cross build: the target's .pc files, not the host's
  set(ENV{PKG_CONFIG_LIBDIR} ${PC_LIBDIR})
endif()
execute_process(COMMAND pkg-config --cflags --libs quorvane libpng
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config quorvane failed: ${rc}")
endif()
if(NOT flags MATCHES "-I${PREFIX}/include/quorvane")
  message(FATAL_ERROR "pkg-config gives ${flags}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")

set(exe ${PREFIX}/png_to_escpos)
execute_process(COMMAND ${CC} -std=c11 -Wall -Wextra -pedantic -Werror ${extra}
                        ${SOURCE} ${flags} -o ${exe}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compiling the example against the installed library failed")
endif()

set(ENV{LD_LIBRARY_PATH} ${lib_dir})
execute_process(COMMAND ${EMULATOR} ${exe} --tm88iv ${INPUT} ${PREFIX}/installed.bin RESULT_VARIABLE rc1)
execute_process(COMMAND ${EMULATOR} ${IN_TREE} --tm88iv ${INPUT} ${PREFIX}/in_tree.bin RESULT_VARIABLE rc2)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
  message(FATAL_ERROR "running the examples failed: ${rc1} ${rc2}")
endif()
file(SHA256 ${PREFIX}/installed.bin a)
file(SHA256 ${PREFIX}/in_tree.bin b)
if(NOT a STREQUAL b)
  message(FATAL_ERROR "the installed build writes other bytes than the in-tree build")
endif()
