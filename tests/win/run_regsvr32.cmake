# regsvr32 of the Wine prefix registering and unregistering qev.dll, for the
# machine and for the current user, checked key by key with reg.exe.
#   -DWINE_RUN=... -DDLL_DIR=<folder of qev.dll> -DWORK_DIR=<a scratch folder>
#
# Each step is one regsvr32 run and one batch of reg queries (Wine starts
# slowly; a query per process would take minutes).

set(clsid "{4190EC4D-6B01-4CF9-9DE5-088485114359}")
set(libid "{C0F0383F-D6F0-44EF-9FE7-531D1624B8B7}")
set(addins "Software\\Microsoft\\Office\\Outlook\\Addins")

function(regsvr32)
    execute_process(COMMAND "${WINE_RUN}" regsvr32 /s ${ARGN} qev.dll WORKING_DIRECTORY "${DLL_DIR}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "regsvr32 /s ${ARGN} qev.dll exited with ${result}\n${out}${err}")
    endif()
endfunction()

# check(PRESENT keys... ABSENT keys... VALUE key name text ...): one batch of
# queries; every key must be there or not, every value must hold the text.
function(check)
    set(script "@echo off\r\n")
    set(mode "")
    set(values "")
    set(expect_present "")
    set(expect_absent "")
    list(LENGTH ARGN count)
    set(i 0)
    while(i LESS count)
        list(GET ARGN ${i} word)
        if(word STREQUAL "PRESENT" OR word STREQUAL "ABSENT")
            set(mode ${word})
            math(EXPR i "${i} + 1")
        elseif(word STREQUAL "VALUE")
            math(EXPR k "${i} + 1")
            math(EXPR n "${i} + 2")
            math(EXPR t "${i} + 3")
            list(GET ARGN ${k} key)
            list(GET ARGN ${n} name)
            list(GET ARGN ${t} text)
            string(APPEND script "echo VALUE-OF ${key}:${name}\r\n")
            if(name STREQUAL "(default)")
                string(APPEND script "reg query \"${key}\" /ve\r\n")
            else()
                string(APPEND script "reg query \"${key}\" /v \"${name}\"\r\n")
            endif()
            list(APPEND values "${key}|${name}|${text}")
            math(EXPR i "${i} + 4")
        else()
            string(APPEND script "reg query \"${word}\" >nul 2>&1\r\n"
                                 "if errorlevel 1 echo KEY-ABSENT ${word}\r\n"
                                 "if not errorlevel 1 echo KEY-PRESENT ${word}\r\n")
            if(mode STREQUAL "PRESENT")
                list(APPEND expect_present "${word}")
            else()
                list(APPEND expect_absent "${word}")
            endif()
            math(EXPR i "${i} + 1")
        endif()
    endwhile()
    file(WRITE "${WORK_DIR}/regsvr32_check.cmd" "${script}")
    execute_process(COMMAND "${WINE_RUN}" cmd /c regsvr32_check.cmd WORKING_DIRECTORY "${WORK_DIR}"
                    OUTPUT_VARIABLE out ERROR_QUIET)
    string(REPLACE "\r" "" out "${out}")
    foreach(key IN LISTS expect_present)
        string(FIND "${out}" "KEY-PRESENT ${key}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${key} is missing (${step})\n${out}")
        endif()
    endforeach()
    foreach(key IN LISTS expect_absent)
        string(FIND "${out}" "KEY-ABSENT ${key}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${key} is still there (${step})\n${out}")
        endif()
    endforeach()
    foreach(value IN LISTS values)
        string(REPLACE "|" ";" parts "${value}")
        list(GET parts 0 key)
        list(GET parts 1 name)
        list(GET parts 2 text)
        if(name STREQUAL "(default)")
            set(shown "(Default)")
        else()
            set(shown "${name}")
        endif()
        # What reg printed for this value: from its marker to the next one.
        string(FIND "${out}" "VALUE-OF ${key}:${name}\n" at)
        string(LENGTH "VALUE-OF ${key}:${name}\n" skip)
        math(EXPR at "${at} + ${skip}")
        string(SUBSTRING "${out}" ${at} -1 rest)
        string(FIND "${rest}" "VALUE-OF " end)
        string(SUBSTRING "${rest}" 0 ${end} block)
        string(FIND "${block}" "    ${shown}    " found)
        if(found EQUAL -1)
            message(FATAL_ERROR "${key} has no value ${name} (${step}), reg printed:\n${block}")
        endif()
        string(FIND "${block}" "${text}" found)
        if(found EQUAL -1)
            message(FATAL_ERROR "${key} ${name}: expected \"${text}\" (${step}), reg printed:\n${block}")
        endif()
    endforeach()
endfunction()

set(machine_keys "HKCR\\qev.Connect" "HKCR\\qev.Connect.1" "HKCR\\CLSID\\${clsid}" "HKLM\\${addins}\\qev.Connect"
                 "HKCR\\TypeLib\\${libid}")
set(user_keys "HKCU\\Software\\Classes\\qev.Connect" "HKCU\\Software\\Classes\\qev.Connect.1"
              "HKCU\\Software\\Classes\\CLSID\\${clsid}" "HKCU\\${addins}\\qev.Connect")

set(step "clean start")
regsvr32(/u)
regsvr32(/u /n /i:user)
check(ABSENT ${machine_keys} ${user_keys})

foreach(pass 1 2)
    set(step "regsvr32, pass ${pass}")
    regsvr32()
    check(PRESENT ${machine_keys}
          ABSENT ${user_keys}
          VALUE "HKCR\\qev.Connect\\CLSID" "(default)" "${clsid}"
          VALUE "HKCR\\qev.Connect\\CurVer" "(default)" "qev.Connect.1"
          VALUE "HKCR\\CLSID\\${clsid}\\InprocServer32" "ThreadingModel" "REG_SZ    Apartment"
          VALUE "HKCR\\CLSID\\${clsid}\\InprocServer32" "(default)" "\\qev.dll"
          VALUE "HKLM\\${addins}\\qev.Connect" "LoadBehavior" "REG_DWORD    0x3"
          VALUE "HKLM\\${addins}\\qev.Connect" "FriendlyName" "REG_SZ    Marlowcrest Antispam")
endforeach()

set(step "regsvr32 /u")
regsvr32(/u)
check(ABSENT ${machine_keys} PRESENT "HKCR\\CLSID" "HKLM\\${addins}")

foreach(pass 1 2)
    set(step "regsvr32 /n /i:user, pass ${pass}")
    regsvr32(/n /i:user)
    check(PRESENT ${user_keys}
          ABSENT "HKLM\\Software\\Classes\\qev.Connect" "HKLM\\${addins}\\qev.Connect"
          VALUE "HKCU\\${addins}\\qev.Connect" "LoadBehavior" "REG_DWORD    0x3"
          VALUE "HKCU\\Software\\Classes\\CLSID\\${clsid}\\InprocServer32" "(default)" "\\qev.dll")
endforeach()

set(step "regsvr32 /u /n /i:user")
regsvr32(/u /n /i:user)
check(ABSENT ${user_keys} PRESENT "HKCU\\Software\\Classes\\CLSID" "HKCU\\${addins}")
message(STATUS "regsvr32 registered and unregistered qev.dll for the machine and for the user")
