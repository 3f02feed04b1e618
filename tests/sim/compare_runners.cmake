# Plays SCENARIO on the native runner (NATIVE) and on the Windows runner
# (WINDOWS, started with WINE_RUN) and fails when their transcripts, each
# followed by "exit N", differ. Two things are set aside: pointer values
# ("<$0000000000ABCDEF>"), which name addresses of two different processes,
# and the folder the Windows runner lays each session's product into
# ("C:\\qev-sim\\<pid>-<n>\\"), where the native one has the drive's root.
#   -DNATIVE=... -DWINE_RUN=... -DWINDOWS=... -DSCENARIO=... -DWORK_DIR=...
if(NOT EXISTS "${WINDOWS}")
    message("no Windows runner at ${WINDOWS}: build the Windows tree first")
    return()
endif()

include("${CMAKE_CURRENT_LIST_DIR}/wine_play.cmake")

# A transcript with its exit status, pointer values set aside.
function(normalise var status)
    set(text "${${var}}exit ${status}\n")
    string(REGEX REPLACE "<\\$[0-9A-Fa-f]+>" "<$pointer>" text "${text}")
    string(REGEX REPLACE "C:\\\\\\\\qev-sim\\\\\\\\[0-9]+-[0-9]+\\\\\\\\" "C:\\\\\\\\" text "${text}")
    set(${var} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND "${NATIVE}" "${SCENARIO}" OUTPUT_VARIABLE native RESULT_VARIABLE native_status)
normalise(native ${native_status})
qev_wine_play("${SCENARIO}" windows windows_status windows_err)
normalise(windows ${windows_status})
if(native STREQUAL windows)
    return()
endif()

get_filename_component(name "${SCENARIO}" NAME_WE)
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/${name}.native.txt" "${native}")
file(WRITE "${WORK_DIR}/${name}.windows.txt" "${windows}")
execute_process(COMMAND diff -u --label native --label windows "${WORK_DIR}/${name}.native.txt"
                        "${WORK_DIR}/${name}.windows.txt"
                OUTPUT_VARIABLE diff)
message("${diff}--- the Windows runner's standard error:\n${windows_err}")
message(FATAL_ERROR "the runners' transcripts differ")
