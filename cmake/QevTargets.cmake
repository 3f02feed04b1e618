# Shared target helpers: warnings, and the sanitizer twin of every native
# library and test suite.

# Every Windows target sees the same, lean <windows.h>: no min/max macros to
# break std::min in portable code, and no headers nobody asked for (a file that
# needs OLE, shell or sockets includes their headers itself).
if(WIN32)
    add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

function(qev_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                                 -Wcast-align -Woverloaded-virtual)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            # g++ 12 reports std::string concatenation at -O3 as overlapping
            # copies (a known false positive of its -Wrestrict).
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
        if(QEV_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

# -O1, as AddressSanitizer's own documentation advises: the fault sweep and the
# soak replay sessions tens of thousands of times, and at -O0 they spend most
# of it in the standard library's unoptimised templates.
set(QEV_SANITIZER_FLAGS -O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
# The ThreadSanitizer flavour "_tsan": built only for the programs that race
# threads against the add-in (the race rounds), so its libraries stay out of "all".
set(QEV_TSAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)

function(_qev_apply_sanitizers target)
    target_compile_options(${target} PRIVATE ${QEV_SANITIZER_FLAGS})
    target_link_options(${target} PRIVATE ${QEV_SANITIZER_FLAGS})
endfunction()

# qev_library(NAME SOURCES ... [DEPS ...]): a static library, plus NAME_asan
# and NAME_tsan when sanitizers are on. DEPS name other qev libraries (their
# twins are used for the twin) or plain link items. The _tsan twins are built
# only when a program needs them.
function(qev_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
    set(variants "")
    list(APPEND variants "${name}|")
    if(QEV_SANITIZERS AND NOT WIN32)
        list(APPEND variants "${name}_asan|_asan" "${name}_tsan|_tsan")
    endif()
    foreach(v IN LISTS variants)
        string(REPLACE "|" ";" parts "${v}")
        list(GET parts 0 tgt)
        list(LENGTH parts n)
        set(suffix "")
        if(n GREATER 1)
            list(GET parts 1 suffix)
        endif()
        add_library(${tgt} STATIC ${ARG_SOURCES})
        target_include_directories(${tgt} PUBLIC ${PROJECT_SOURCE_DIR})
        qev_warnings(${tgt})
        foreach(dep IN LISTS ARG_DEPS)
            if(TARGET ${dep}${suffix})
                target_link_libraries(${tgt} PUBLIC ${dep}${suffix})
            else()
                target_link_libraries(${tgt} PUBLIC ${dep})
            endif()
        endforeach()
        if(suffix STREQUAL "_asan")
            _qev_apply_sanitizers(${tgt})
        elseif(suffix STREQUAL "_tsan")
            set_target_properties(${tgt} PROPERTIES EXCLUDE_FROM_ALL TRUE)
            target_compile_options(${tgt} PRIVATE ${QEV_TSAN_FLAGS})
            target_link_options(${tgt} PRIVATE ${QEV_TSAN_FLAGS})
        endif()
    endforeach()
endfunction()

# qev_gtest(NAME SOURCES ... DEPS ...): a GoogleTest suite registered with
# CTest, plus its sanitizer twin "asan.<test>" when sanitizers are on.
function(qev_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    find_package(GTest REQUIRED)
    include(GoogleTest)
    set(variants "${name}|")
    if(QEV_SANITIZERS)
        list(APPEND variants "${name}_asan|_asan")
    endif()
    foreach(v IN LISTS variants)
        string(REPLACE "|" ";" parts "${v}")
        list(GET parts 0 tgt)
        list(LENGTH parts n)
        set(suffix "")
        if(n GREATER 1)
            list(GET parts 1 suffix)
        endif()
        add_executable(${tgt} ${ARG_SOURCES})
        qev_warnings(${tgt})
        target_include_directories(${tgt} PRIVATE ${PROJECT_SOURCE_DIR})
        foreach(dep IN LISTS ARG_DEPS)
            if(TARGET ${dep}${suffix})
                target_link_libraries(${tgt} PRIVATE ${dep}${suffix})
            else()
                target_link_libraries(${tgt} PRIVATE ${dep})
            endif()
        endforeach()
        target_link_libraries(${tgt} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
        if(suffix STREQUAL "_asan")
            _qev_apply_sanitizers(${tgt})
            gtest_discover_tests(${tgt} TEST_PREFIX "asan." DISCOVERY_MODE PRE_TEST
                                 PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
        else()
            gtest_discover_tests(${tgt} DISCOVERY_MODE PRE_TEST)
        endif()
    endforeach()
endfunction()
