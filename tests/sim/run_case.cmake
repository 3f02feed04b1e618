# Runs a runner on SCENARIO and compares its standard output, followed by the
# line "exit N", with the file beside the scenario named *.expected.
#   native runner:  -DRUNNER=... -DSCENARIO=...
#   Windows runner: -DWINE_RUN=... -DWINDOWS=... -DSCENARIO=...
if(DEFINED WINDOWS)
    include("${CMAKE_CURRENT_LIST_DIR}/wine_play.cmake")
    qev_wine_play("${SCENARIO}" out status err)
else()
    execute_process(COMMAND "${RUNNER}" "${SCENARIO}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
endif()
string(APPEND out "exit ${status}\n")
string(REGEX REPLACE "\\.scn$" ".expected" expected_file "${SCENARIO}")
file(READ "${expected_file}" expected)
if(NOT out STREQUAL expected)
    message("--- got:\n${out}--- expected:\n${expected}--- stderr:\n${err}")
    message(FATAL_ERROR "transcript differs from ${expected_file}")
endif()
