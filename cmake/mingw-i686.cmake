# Cross toolchain for the 32-bit Windows side (DLL, demo engine, Win32 tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The posix thread model: the win32 one in GCC 12 has no std::mutex.
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs run under Wine with the ANSI code page (932) of the DLL's users.
# LC_ALL, not LANG: with only LANG set Wine 8 falls back to code page 1252
# when glibc has no ja_JP locale generated.
set(CMAKE_CROSSCOMPILING_EMULATOR env LC_ALL=ja_JP.UTF-8 wine)
# Let try_compile and sub-projects see MINGW_PREFIX too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_PREFIX)
