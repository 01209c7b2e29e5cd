# Cross-building the Windows program on Debian with mingw-w64 (posix thread model, so
# std::thread and std::mutex work). `make windows` passes this file to CMake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MAREVANT_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MAREVANT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MAREVANT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${MAREVANT_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MAREVANT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine (tools/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
