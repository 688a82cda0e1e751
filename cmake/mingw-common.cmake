# What the Windows toolchain files share, included by cmake/mingw-i686.cmake
# and cmake/mingw-x86_64.cmake once each has set CMAKE_SYSTEM_PROCESSOR and
# ZELT_MINGW_PREFIX (the MinGW-w64 tools' prefix).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZELT_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ZELT_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ZELT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${ZELT_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZELT_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${ZELT_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZELT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ZELT_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")

# Called by the toolchain file once it has found its Wine loader (ZELT_WINE)
# and set ZELT_WINE_ENV to whatever more that loader needs in its environment.
macro(zelt_wine_emulator)
  if(ZELT_WINE)
    # mscoree/mshtml off: no Mono or Gecko installer prompts in a fresh prefix.
    set(CMAKE_CROSSCOMPILING_EMULATOR
        /usr/bin/env WINEPREFIX=${ZELT_WINEPREFIX} ${ZELT_WINE_ENV} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        ${ZELT_WINE})
  endif()
endmacro()
