# Cross toolchain for the Windows build: MinGW-w64, x86-64, posix threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QEV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QEV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QEV_MINGW_PREFIX}-windres)
set(QEV_WIDL ${QEV_MINGW_PREFIX}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${QEV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything a DLL or program needs is linked into it: nothing to ship beside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs are run under Wine (see tools/wine-run.in).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
