# `make package`: a Debian package on Linux; on Windows a zip archive of the
# DLL, its import library, the headers, the program and the corpus.
set(CPACK_PACKAGE_NAME mvfiles)
set(CPACK_PACKAGE_VENDOR mvfiles)
set(CPACK_PACKAGE_CONTACT "mvfiles developers <dev@mvfiles.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client library for the mvfiles catalogue service")
set(CPACK_PACKAGE_DESCRIPTION
    "A C++17 library with a flat C ABI that looks up playable video files by\n"
    "IMDb title id and reads per-user key-value data from the mvfiles service,\n"
    "with an offline fixture backend. Holds the shared library, its headers,\n"
    "pkg-config and CMake files, the mvfiles program, the bundled corpus, the\n"
    "manual pages and a ctypes binding for Python 3.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # The binaries are stripped when linked: the zip holds the very files the
  # build tree has, with the debug directory that names mvfiles.pdb.
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # dpkg-shlibdeps finds the run-time libraries: with yyjson linked in
  # (MVFILES_YYJSON_SOURCE_DIR, as `make package` builds it), only stock
  # Debian ones (libc6, libstdc++6, libgcc-s1, libcurl4).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(NOT TARGET mvfiles_yyjson)
    message(WARNING "yyjson is not linked in (MVFILES_YYJSON_SOURCE_DIR): "
                    "the Debian package would need a libyyjson0 that Debian 12 lacks")
  endif()
  # mvfiles.pc needs no other package's .pc file.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, pkg-config")
  # A shlibs file and the ldconfig trigger, so that the loader (and the
  # Python binding) finds libmvfiles.so.1 right after installation.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  # mvfiles.pc is written with the real prefix during the staged install.
  set(CPACK_SET_DESTDIR ON)
endif()

include(CPack)

# The self-contained library as the NuGet package and the Python wheel ship
# it: shipped/libmvfiles.so, stripped, and its debug information beside it
# in shipped/libmvfiles.so.debug (named by a debug link). On Windows the
# shipped files are tools/mvfiles.dll and tools/mvfiles.pdb themselves.
if(NOT WIN32 AND TARGET mvfiles_yyjson)
  set(_shipped ${CMAKE_BINARY_DIR}/shipped)
  file(MAKE_DIRECTORY ${_shipped})
  add_custom_command(OUTPUT ${_shipped}/libmvfiles.so ${_shipped}/libmvfiles.so.debug
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:mvfiles> libmvfiles.so.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-unneeded --add-gnu-debuglink=libmvfiles.so.debug
            $<TARGET_FILE:mvfiles> libmvfiles.so
    DEPENDS mvfiles WORKING_DIRECTORY ${_shipped} VERBATIM)
  add_custom_target(mvfiles_shipped ALL DEPENDS ${_shipped}/libmvfiles.so)
endif()
