# DLL planting: copies of a library planted in the current directory and
# beside the host program are never loaded by the add-in. The planted library
# (planted_dll.cpp) writes its path to a log when it is loaded and refuses to
# load. Copies of it lie under the name of everything the add-in loads or
# imports, both in the process's current directory and beside a copy of the
# simulated Outlook (qev-sim.exe) in a folder of this test's own; the copy
# plays dll_planting.scn, which makes the add-in load everything. The test
# fails when any planted copy was loaded, and when the scenario failed.
#
# Wine prefers its builtin DLL to a native one of the same name wherever the
# native one lies, so a planted copy of a system DLL would never run and the
# test could not fail for it. The system DLLs that are no KnownDLLs of
# Windows (which Windows never takes from anywhere but the system folder) are
# therefore made native first (WINEDLLOVERRIDES "n,b" through wine-run's
# QEV_WINE_DLL_OVERRIDES): Wine then takes the first copy its search order
# finds, as Windows does. The KnownDLLs are planted too, Wine's builtins kept.
#
#   -DWINE_RUN=... -DRUNNER=<qev-sim.exe> -DPLANTED=<qev_planted.dll>
#   -DOBJDUMP=... -DADDIN=<qev.dll> -DSCENARIO=<dll_planting.scn>
#   -DHOST_DIR=<the simulated Outlook's own folder> -DWORK_DIR=<this test's folder>
#
# HOST_DIR lies as deep below the build folder as the runner's own folder:
# qev-sim.exe finds qev.dll and the stand-ins by paths relative to its own
# (tests/win/CMakeLists.txt checks it).
cmake_minimum_required(VERSION 3.25)

# The product's libraries (engine/engine_loader.cpp, text/product_info.cpp,
# engine/crash_handler.cpp), the add-in's own file, and its language and
# layout modules (text/ui_strings.cpp, sim/win/product_folder.cpp) by their
# names and by the paths below a folder that the add-in builds.
set(product_names zkascl.dll IPrefVault.dll zkch.dll qev.dll qev.txtui qev.ui
                  lang/en-us/qev.txtui lang/de-de/qev.txtui lang/he-il/qev.txtui ui/ltr/qev.ui ui/rtl/qev.ui)
# The system's libraries that the add-in loads at run time or that Wine loads
# for it: mapi32 (host/win/win_mapi.cpp), gdiplus (host/win/win_graphics.cpp),
# MSXML as COM loads it (msxml3 and Wine's msxml, whose class forwards to
# msxml3; msxml6 for a newer ProgID), windowscodecs (the decoder of Wine's
# GDI+), and what else a session loads once qev.dll is in, as WINEDEBUG=+loaddll
# shows it: Wine's MAPI provider winemapi, and urlmon, wininet, mpr and
# propsys, imports of those.
set(runtime_names mapi32.dll gdiplus.dll msxml.dll msxml3.dll msxml6.dll windowscodecs.dll
                  winemapi.dll urlmon.dll wininet.dll mpr.dll propsys.dll)
# The KnownDLLs of Windows among the names planted.
set(known_dlls advapi32.dll combase.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll
               oleaut32.dll rpcrt4.dll sechost.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll)

# What qev.dll imports, as objdump lists it.
execute_process(COMMAND "${OBJDUMP}" -p "${ADDIN}" RESULT_VARIABLE result OUTPUT_VARIABLE dump ERROR_VARIABLE err)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump failed: ${err}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(import_names "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" name)
    list(APPEND import_names "${name}")
endforeach()
if(NOT import_names)
    message(FATAL_ERROR "objdump lists no imports of ${ADDIN}")
endif()
set(system_names ${import_names} ${runtime_names})
list(REMOVE_DUPLICATES system_names)

set(native_first "")
foreach(name IN LISTS system_names)
    if(NOT name IN_LIST known_dlls)
        string(REGEX REPLACE "\\.dll$" "" base "${name}")
        list(APPEND native_first "${base}")
    endif()
endforeach()
string(REPLACE ";" "," native_first "${native_first}")

# The two places, laid out afresh.
set(cwd "${WORK_DIR}/cwd")
set(log "${WORK_DIR}/loaded.txt")
file(REMOVE_RECURSE "${HOST_DIR}" "${WORK_DIR}")
file(MAKE_DIRECTORY "${HOST_DIR}" "${cwd}")
file(COPY_FILE "${RUNNER}" "${HOST_DIR}/qev-sim.exe")
foreach(folder IN ITEMS "${HOST_DIR}" "${cwd}")
    foreach(name IN LISTS product_names system_names)
        get_filename_component(parent "${folder}/${name}" DIRECTORY)
        file(MAKE_DIRECTORY "${parent}")
        file(COPY_FILE "${PLANTED}" "${folder}/${name}")
    endforeach()
endforeach()
# The log's Windows path: Wine's drive Z: is the root of the file system.
string(REPLACE "/" "\\" log_windows "Z:${log}")
set(env "QEV_PLANTED_LOG=${log_windows}" "QEV_WINE_DLL_OVERRIDES=${native_first}=n,b")

function(read_log out_var)
    set(lines "")
    if(EXISTS "${log}")
        file(STRINGS "${log}" lines)
    endif()
    set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

# The planted library is seen when it is loaded: rundll32 loads one copy on
# purpose (and fails, as the copy refuses).
string(REPLACE "/" "\\" canary "Z:${cwd}/zkascl.dll")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} "${WINE_RUN}" rundll32.exe "${canary},Entry"
                WORKING_DIRECTORY "${WORK_DIR}" INPUT_FILE /dev/null
                OUTPUT_FILE "${WORK_DIR}/rundll32.out" ERROR_FILE "${WORK_DIR}/rundll32.err")
read_log(seen)
if(NOT seen MATCHES "cwd\\\\zkascl\\.dll\t[^;]*rundll32\\.exe")
    message(FATAL_ERROR "the planted library loaded by rundll32 left no line in ${log} (it has: ${seen})")
endif()
file(REMOVE "${log}")

# The session, from the current directory with its planted copies.
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} "${WINE_RUN}" "${HOST_DIR}/qev-sim.exe" "${SCENARIO}"
                WORKING_DIRECTORY "${cwd}" INPUT_FILE /dev/null
                OUTPUT_FILE "${WORK_DIR}/transcript.out" ERROR_FILE "${WORK_DIR}/transcript.err"
                RESULT_VARIABLE status)
file(READ "${WORK_DIR}/transcript.out" transcript)
file(READ "${WORK_DIR}/transcript.err" errors)
read_log(loaded)

list(LENGTH product_names product_count)
list(LENGTH system_names system_count)
message("planted ${product_count} product and ${system_count} system names (native first under Wine: ${native_first})"
        " beside ${HOST_DIR}/qev-sim.exe and in ${cwd}")
if(loaded)
    list(JOIN loaded "\n  " shown)
    message(FATAL_ERROR "planted copies were loaded (copy, then the program that loaded it):\n  ${shown}\n"
                        "the session (exit ${status}):\n${transcript}${errors}")
endif()
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the session failed (exit ${status}), with no planted copy loaded:\n${transcript}${errors}")
endif()
message("no planted copy was loaded; the session passed")
