# Cross build of the 64-bit Windows modules with MinGW-w64 (x86_64), for the
# 64-bit editor; the tests run under 64-bit Wine.
#
#   cmake -S . -B out/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#
# Tests added with add_test(NAME x COMMAND <target>) run through the emulator
# below: the 64-bit Wine loader (named also as WINELOADER, so that Wine starts
# its own helper programs with it rather than with the 32-bit one) with a
# throw-away prefix in the build tree (ZELT_WINEPREFIX) and its debug chatter
# off. The test `wine_prefix` creates the prefix first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELT_MINGW_PREFIX x86_64-w64-mingw32)
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
# Debian's `wine` starts the 32-bit loader whenever it is installed.
find_program(ZELT_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(ZELT_WINE NAMES wine64 wine64-stable)
if(ZELT_WINE)
  set(ZELT_WINE_ENV WINELOADER=${ZELT_WINE})
  # mscoree/mshtml off: no Mono or Gecko installer prompts in a fresh prefix.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${ZELT_WINEPREFIX} ${ZELT_WINE_ENV} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      ${ZELT_WINE})
endif()
