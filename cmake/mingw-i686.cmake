# Cross build of the 32-bit Windows modules with MinGW-w64 (i686); the tests
# run under Wine.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# Tests added with add_test(NAME x COMMAND <target>) run through the emulator
# (cmake/mingw-common.cmake): Wine with a throw-away prefix in the build tree
# (ZELT_WINEPREFIX) and its debug chatter off. The test `wine_prefix` creates
# the prefix first.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZELT_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

find_program(ZELT_WINE NAMES wine wine-stable)
zelt_wine_emulator()
