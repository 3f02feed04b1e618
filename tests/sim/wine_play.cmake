# qev_wine_play(SCENARIO OUT STATUS ERR): plays SCENARIO on the Windows runner
# (WINDOWS, started with WINE_RUN) and gives its transcript, exit status and
# standard error. Needs WINE_RUN and WINDOWS.
function(qev_wine_play scenario out_var status_var err_var)
    execute_process(COMMAND "${WINE_RUN}" "${WINDOWS}" "${scenario}"
                    INPUT_FILE /dev/null OUTPUT_VARIABLE out ERROR_VARIABLE err
                    RESULT_VARIABLE status)
    set(${out_var} "${out}" PARENT_SCOPE)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${err_var} "${err}" PARENT_SCOPE)
endfunction()
