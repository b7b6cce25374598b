# Cross-build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
#
# The posix thread model is used because GoogleTest needs std::mutex, which
# the win32 model lacks. Executables are linked statically (winpthreads
# included), so d88cut.exe needs no DLL beside it.
# When wine is installed it becomes the emulator CTest runs the test programs
# under.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(D88CUT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${D88CUT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${D88CUT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${D88CUT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${D88CUT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(D88CUT_WINE NAMES wine wine64)
if(D88CUT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${D88CUT_WINE})
endif()
