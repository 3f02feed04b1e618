# Runs RUNNER on SCENARIO and compares its standard output, followed by the
# line "exit N", with the file beside the scenario named *.expected.
execute_process(COMMAND "${RUNNER}" "${SCENARIO}"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
string(APPEND out "exit ${status}\n")
string(REGEX REPLACE "\\.scn$" ".expected" expected_file "${SCENARIO}")
file(READ "${expected_file}" expected)
if(NOT out STREQUAL expected)
    message(FATAL_ERROR "transcript differs from ${expected_file}\n--- got:\n${out}--- expected:\n${expected}--- stderr:\n${err}")
endif()
