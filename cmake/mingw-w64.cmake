# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which std::thread and Qt need). Used to build Qt itself and
# the game: scripts/windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORTANA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORTANA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORTANA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VORTANA_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VORTANA_MINGW})
# Programs from the build machine; headers and libraries never from it.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
