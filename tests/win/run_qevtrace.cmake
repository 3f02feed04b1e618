# Runs "qevtrace --raw -- tracedemo.exe --trace" under Wine and compares
# what it printed with the expected transcript, byte for byte.
execute_process(
    COMMAND "${WINE_RUN}" "${QEVTRACE}" --raw -- tracedemo.exe --trace
    WORKING_DIRECTORY "${DEMO_DIR}"
    OUTPUT_VARIABLE captured
    ERROR_VARIABLE diagnostics
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "qevtrace exited with ${result}\n${diagnostics}")
endif()
file(READ "${EXPECTED}" expected)
if(NOT captured STREQUAL expected)
    message(FATAL_ERROR "the capture differs from ${EXPECTED}:\n--- captured\n${captured}--- expected\n${expected}"
                        "--- stderr (tracedemo's own output)\n${diagnostics}")
endif()
message(STATUS "capture matches; tracedemo said:\n${diagnostics}")

# The command's exit code is passed on.
execute_process(COMMAND "${WINE_RUN}" "${QEVTRACE}" -- cmd.exe /c exit 7
                OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 7)
    message(FATAL_ERROR "qevtrace -- cmd /c exit 7 exited with ${result}, not 7")
endif()
