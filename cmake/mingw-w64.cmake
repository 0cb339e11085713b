# Windows programs from Debian's mingw-w64 cross compiler (the POSIX thread model, for std::thread),
# linked statically so that gelvar-cli.exe is one file to copy. Programs built here run under wine, in a
# wine prefix of the build folder's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GELVAR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GELVAR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GELVAR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${GELVAR_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GELVAR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# No Mono or Gecko: nothing here needs them, and wine would offer to download them.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= wine)
