# qev_wine_play(SCENARIO OUT STATUS ERR): plays SCENARIO on the Windows runner
# (WINDOWS, started with WINE_RUN) and gives its transcript, exit status and
# standard error. Needs WINE_RUN, WINDOWS and WORK_DIR.
#
# The runner writes into files, not into a pipe: the Wine services that the
# first program of a prefix starts inherit its output and keep a pipe open
# until the wineserver goes, seconds after the program has ended.
function(qev_wine_play scenario out_var status_var err_var)
    get_filename_component(name "${scenario}" NAME_WE)
    file(MAKE_DIRECTORY "${WORK_DIR}")
    set(out_file "${WORK_DIR}/${name}.windows.out")
    set(err_file "${WORK_DIR}/${name}.windows.err")
    execute_process(COMMAND "${WINE_RUN}" "${WINDOWS}" "${scenario}"
                    INPUT_FILE /dev/null OUTPUT_FILE "${out_file}" ERROR_FILE "${err_file}"
                    RESULT_VARIABLE status)
    file(READ "${out_file}" out)
    file(READ "${err_file}" err)
    set(${out_var} "${out}" PARENT_SCOPE)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${err_var} "${err}" PARENT_SCOPE)
endfunction()
