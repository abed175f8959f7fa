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
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # dpkg-shlibdeps finds the run-time libraries; yyjson's symbols would allow
  # versions older than the 0.10 the library is built and tested against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libyyjson0 (>= 0.10)")
  # ... and a dpkg-shlibdeps that leaves yyjson to the line above, so that
  # Depends names libyyjson0 once.
  set(CPACK_MVFILES_SHLIBDEPS ${CMAKE_CURRENT_LIST_DIR}/dpkg-shlibdeps.sh)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake)
  # mvfiles.pc needs no other package's .pc file.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, pkg-config")
  # A shlibs file and the ldconfig trigger, so that the loader (and the
  # Python binding) finds libmvfiles.so.1 right after installation.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  # mvfiles.pc is written with the real prefix during the staged install.
  set(CPACK_SET_DESTDIR ON)
endif()

include(CPack)
