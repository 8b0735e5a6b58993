# Cross-builds the Windows program and its tests with Debian's MinGW-w64, as
# one 32-bit x86 program file: it runs wherever the game (a 32-bit program of
# 1999) runs, from Windows XP SP3 to 11 on x86, x64 and Arm, and in 32-bit
# and 64-bit Wine prefixes.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# Windows XP is NT 5.1; later functions are looked up at run time.
set(CMAKE_SYSTEM_VERSION 5.1)

set(NATION_MINGW_TRIPLET i686-w64-mingw32)
# The win32 thread model: its static run-time imports nothing that Windows
# XP lacks, where the POSIX model's winpthreads imports GetTickCount64
# (Vista). It has no std::thread or std::mutex, which the editor, one thread,
# does not use.
set(CMAKE_C_COMPILER ${NATION_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${NATION_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${NATION_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NATION_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW DLL has to travel with a program file: the C and C++ run-time
# libraries go into it. The headers declare what XP has (_WIN32_WINNT
# 0x0501), and the program file says it needs NT 5.1, with no link time in
# it, so that the same source makes the same bytes.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -Wl,--major-subsystem-version,5,--minor-subsystem-version,1,--major-os-version,5,--minor-os-version,1,--no-insert-timestamp")
