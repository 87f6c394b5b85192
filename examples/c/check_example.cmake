# Runs the example on the sample PNG in each of its modes and checks the
# commands' leading bytes, sizes and trailer.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_example mode output)
  execute_process(COMMAND ${EMULATOR} ${EXAMPLE} ${mode} ${INPUT} ${output} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "example ${mode} failed: ${rc}")
  endif()
endfunction()

function(expect_bytes file offset count expected)
  file(READ ${file} hex OFFSET ${offset} LIMIT ${count} HEX)
  if(NOT hex STREQUAL expected)
    message(FATAL_ERROR "${file} bytes ${offset}+${count}: ${hex}, expected ${expected}")
  endif()
endfunction()

function(expect_size file expected)
  file(SIZE ${file} size)
  if(NOT size EQUAL expected)
    message(FATAL_ERROR "${file}: ${size} bytes, expected ${expected}")
  endif()
endfunction()

# 48 x 24: 6 bytes a row, k = 144, parameter count 154.
run_example(--tm88iv ${WORK_DIR}/sample.gs8)
expect_size(${WORK_DIR}/sample.gs8 170)
expect_bytes(${WORK_DIR}/sample.gs8 0 17 "1d384c9a00000030703001013130001800")
expect_bytes(${WORK_DIR}/sample.gs8 17 6 "ffffffffffff")
expect_bytes(${WORK_DIR}/sample.gs8 161 9 "1d384c020000003002")

# NV block: 6 x 3 units of 8 dots; column 0 is the black frame.
run_example(--nv ${WORK_DIR}/sample.nv)
expect_size(${WORK_DIR}/sample.nv 148)
expect_bytes(${WORK_DIR}/sample.nv 0 7 "06000300ffffff")

run_example(--gs-star ${WORK_DIR}/sample.gs)
expect_size(${WORK_DIR}/sample.gs 148)
expect_bytes(${WORK_DIR}/sample.gs 0 7 "1d2a0603ffffff")
