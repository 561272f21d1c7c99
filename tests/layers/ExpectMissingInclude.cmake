# cmake -DBUILD_DIR=... -DTARGET=... -DFORBIDDEN=header -P ExpectMissingInclude.cmake
# Builds TARGET and succeeds only when the compiler stops because it cannot find FORBIDDEN.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
    message(FATAL_ERROR "${TARGET} compiled: ${FORBIDDEN} is visible to it")
endif()
# GCC's and clang's words for a header that no include folder holds.
string(FIND "${output}" "${FORBIDDEN}: No such file or directory" gcc)
string(FIND "${output}" "'${FORBIDDEN}' file not found" clang)
if(gcc EQUAL -1 AND clang EQUAL -1)
    message(FATAL_ERROR "${TARGET} failed, but not for want of ${FORBIDDEN}:\n${output}")
endif()
