# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix). The
# posix flavour is needed for std::thread and std::mutex in the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELP_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELP_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELP_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELP_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELP_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs must start on a Windows machine that has no MinGW runtime: libstdc++, libgcc and
# winpthread go into each executable, which then imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Cross-built programs (tests, test discovery) run under wine.
find_program(ZELP_WINE wine)
if(ZELP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELP_WINE})
endif()
