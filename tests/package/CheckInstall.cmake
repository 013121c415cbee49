# Script mode: install BUILD_DIR into WORK_DIR/prefix, then configure, build and run the
# consumer project against that prefix.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The consumer is built without sanitizers, so it links the plain archive's dependencies only if
# the library was built without them; a sanitized library needs the same flags.
file(STRINGS ${BUILD_DIR}/CMakeCache.txt sanitize REGEX "^TREVALO_SANITIZE:")
string(REGEX REPLACE "^TREVALO_SANITIZE:[A-Z]*=" "" sanitize "${sanitize}")
set(flags "")
if(sanitize)
  set(flags "-fsanitize=${sanitize}")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
