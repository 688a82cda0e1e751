# Installing and packaging (native tree only):
#   cmake --install    quorvel in bin/, the modules in lib/quorvel, the frei0r
#                      plugins in lib/frei0r-1 (frei0r/CMakeLists.txt);
#   cpack              the Debian package of that install, in packages/;
#   windows_zip        the .vdf modules of both Windows build trees, in packages/.
if(WIN32)
  return()
endif()

# One copy of the modules serves every installed host: quorvel looks in
# ../lib/quorvel beside its bin/, a frei0r plugin in ../quorvel beside its
# lib/frei0r-1. Both are relative to the host's own file, so the tree works
# wherever it is unpacked.
foreach(module ${ZELT_MODULES})
  install(TARGETS ${module} LIBRARY DESTINATION lib/quorvel)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/quorvel)

set(ZELT_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packages)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "removes periodic interference from video (Quorvel Transform Filter)")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_PACKAGE_DIRECTORY ${ZELT_PACKAGE_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
# quorvel_<version>_<arch>.deb, the dependencies (FFmpeg's runtime libraries,
# the C and C++ runtimes) as dpkg-shlibdeps finds them in the binaries; without
# it (dpkg-dev), what it finds on Debian 12.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
find_program(ZELT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZELT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libavcodec59 (>= 7:5.0), libavformat59 (>= 7:5.0), libavutil57 (>= 7:5.0), \
libswscale6 (>= 7:5.0), libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
endif()
# The hosts the frei0r plugins run in.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, gstreamer1.0-plugins-bad, melt")
# For scripts/package.sh, which checks that every module is in the package.
set(CPACK_ZELT_MODULES ${ZELT_MODULES})
include(CPack)

# The Windows modules of both widths, one folder each, with a text saying
# which goes where. The trees default to the siblings scripts/test.sh builds
# beside this one; every module must be there.
get_filename_component(trees ${CMAKE_BINARY_DIR} DIRECTORY)
set(ZELT_WIN32_BUILD_DIR ${trees}/win32 CACHE PATH "32-bit Windows build tree for windows_zip")
set(ZELT_WIN64_BUILD_DIR ${trees}/win64 CACHE PATH "64-bit Windows build tree for windows_zip")
set(stage ${CMAKE_BINARY_DIR}/windows-zip)
set(zip ${ZELT_PACKAGE_DIR}/quorvel_${PROJECT_VERSION}_windows.zip)
# CRLF: the text is read on Windows.
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows-readme.txt ${stage}-readme.txt @ONLY NEWLINE_STYLE CRLF)
set(copies)
foreach(module ${ZELT_MODULES})
  list(APPEND copies
    COMMAND ${CMAKE_COMMAND} -E copy ${ZELT_WIN32_BUILD_DIR}/bin/${module}.vdf ${stage}/x86/
    COMMAND ${CMAKE_COMMAND} -E copy ${ZELT_WIN64_BUILD_DIR}/bin/${module}.vdf ${stage}/x64/)
endforeach()
add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/x86 ${stage}/x64 ${ZELT_PACKAGE_DIR}
  ${copies}
  COMMAND ${CMAKE_COMMAND} -E copy ${stage}-readme.txt ${stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip README.txt x86 x64
  COMMENT "Packing the Windows modules into ${zip}"
  VERBATIM)
