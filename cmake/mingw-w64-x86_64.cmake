# Cross-builds the Windows program and its tests with Debian's MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NATION_MINGW_TRIPLET x86_64-w64-mingw32)
# The POSIX thread model: std::thread and std::mutex work, and winpthreads is
# linked in statically with the rest.
set(CMAKE_C_COMPILER ${NATION_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NATION_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NATION_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NATION_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW DLL has to travel with a program file: the C and C++ run-time
# libraries go into it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
