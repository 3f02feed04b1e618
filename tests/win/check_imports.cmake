# qev.dll imports only DLLs that Windows itself provides: every DLL that
# `objdump -p` lists must be one of the system's (present in the Wine
# prefix's system32), and none of the MinGW runtime's. Nor does it import the
# system DLLs that are no KnownDLLs and that it loads from the system folder
# itself (host/win/win_libraries.h: an import of them is searched for, and
# could be taken from the current directory; the planting test cannot show
# that in a prefix with the default SafeDllSearchMode).
#   -DOBJDUMP=... -DDLL=<qev.dll> -DWINE_RUN=... -DSYSTEM32=<prefix>/drive_c/windows/system32

if(NOT EXISTS "${SYSTEM32}/kernel32.dll")
    execute_process(COMMAND "${WINE_RUN}" cmd.exe /c exit OUTPUT_QUIET ERROR_QUIET)
endif()
execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" RESULT_VARIABLE result OUTPUT_VARIABLE dump ERROR_VARIABLE err)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump failed: ${err}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "objdump lists no imports of ${DLL}")
endif()
set(names "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" lower)
    list(APPEND names "${lower}")
    if(lower MATCHES "^lib(stdc\\+\\+|gcc|winpthread)")
        message(FATAL_ERROR "qev.dll imports the MinGW runtime library ${name}")
    endif()
    if(lower MATCHES "^(gdiplus|mapi32|msxml3|windowscodecs)\\.dll$")
        message(FATAL_ERROR "qev.dll imports ${name}, which it must load from the system folder itself")
    endif()
    if(NOT EXISTS "${SYSTEM32}/${lower}")
        message(FATAL_ERROR "qev.dll imports ${name}, which is not a system DLL")
    endif()
endforeach()
message(STATUS "qev.dll imports only system DLLs: ${names}")
