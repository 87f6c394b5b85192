# A path the test scripts can start a built program by: the program itself,
# or, cross-built, a small script that hands it to qemu-user.
#
#   quorvane_runnable(quorvane-printer-app QV_RUN_APP)
function(quorvane_runnable target out_var)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 emulator)
    set(script ${CMAKE_BINARY_DIR}/run/${target})
    set(args "\"\$@\"")
    get_property(made GLOBAL PROPERTY QUORVANE_RUNNABLES)
    if(NOT target IN_LIST made)
      set_property(GLOBAL APPEND PROPERTY QUORVANE_RUNNABLES ${target})
      file(GENERATE OUTPUT ${script}
           CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:${target}> ${args}\n"
           FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
    set(${out_var} ${script} PARENT_SCOPE)
  else()
    set(${out_var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
