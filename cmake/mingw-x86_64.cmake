# Cross build of the 64-bit Windows modules with MinGW-w64 (x86_64), for the
# 64-bit editor; the tests run under 64-bit Wine.
#
#   cmake -S . -B out/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#
# Tests added with add_test(NAME x COMMAND <target>) run through the emulator
# (cmake/mingw-common.cmake): the 64-bit Wine loader (named also as
# WINELOADER, so that Wine starts its own helper programs with it rather than
# with the 32-bit one) with a throw-away prefix in the build tree
# (ZELT_WINEPREFIX) and its debug chatter off. The test `wine_prefix` creates
# the prefix first.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELT_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian's `wine` starts the 32-bit loader whenever it is installed.
find_program(ZELT_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(ZELT_WINE NAMES wine64 wine64-stable)
if(ZELT_WINE)
  set(ZELT_WINE_ENV WINELOADER=${ZELT_WINE})
endif()
zelt_wine_emulator()
