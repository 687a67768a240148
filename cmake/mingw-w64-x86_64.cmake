# Cross-compiles the Windows build with MinGW-w64. The -posix variant is required: the win32
# thread model has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TSL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TSL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TSL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TSL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TSL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the .exe files need no MinGW DLLs next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine through a wrapper that sets up nothing itself: scripts/test provides the
# prefix, the display and a running wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
