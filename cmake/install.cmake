# What `cmake --install` puts in place beside the library: the headers, a
# CMake package exporting mvfiles::mvfiles, a pkg-config file, the manual
# pages and the Python binding. The program and its corpus are installed by
# tools/CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MVFILES_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/mvfiles" CACHE STRING
    "where the CMake package files are installed, relative to the prefix")

# RUNTIME takes a Windows DLL, ARCHIVE its import library, LIBRARY the
# shared object elsewhere; the exported target describes whichever exists.
install(TARGETS mvfiles EXPORT mvfilesTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/mvfiles.h ${PROJECT_SOURCE_DIR}/include/veltrona_http.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The bundled corpus (installed by tools/CMakeLists.txt), named by both
# packages so that a host can hand it to mvfiles_fake_corpus.
set(MVFILES_FIXTURES_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/mvfiles/fixtures)

install(EXPORT mvfilesTargets NAMESPACE mvfiles:: DESTINATION ${MVFILES_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mvfilesConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/mvfilesConfig.cmake
                              INSTALL_DESTINATION ${MVFILES_CMAKE_DIR}
                              PATH_VARS MVFILES_FIXTURES_INSTALL_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mvfilesConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mvfilesConfig.cmake ${PROJECT_BINARY_DIR}/mvfilesConfigVersion.cmake
        DESTINATION ${MVFILES_CMAKE_DIR})

# pkg-config. The headers need no other package, so mvfiles.pc requires
# none: a Requires.private line would make `pkg-config --cflags` fail
# wherever yyjson's or libcurl's development files are missing. What a
# static link of the library would add goes to Libs.private, which only
# `--static` reads. A Windows DLL carries both inside (WinHTTP, static
# yyjson), so it names none.
if(WIN32)
  set(_mvfiles_pc_libs_private "")
  set(_mvfiles_pc_relocatable ON)
elseif(TARGET mvfiles_yyjson)
  set(_mvfiles_pc_libs_private "-lcurl -lstdc++")
  set(_mvfiles_pc_relocatable OFF)
else()
  set(_mvfiles_pc_libs_private "-lyyjson -lcurl -lstdc++")
  set(_mvfiles_pc_relocatable OFF)
endif()
set(MVFILES_PC_LIBS_PRIVATE "${_mvfiles_pc_libs_private}" CACHE STRING
    "Libs.private of mvfiles.pc")
option(MVFILES_PC_RELOCATABLE "write mvfiles.pc relative to its own directory" ${_mvfiles_pc_relocatable})
file(RELATIVE_PATH MVFILES_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/mvfiles-pc.cmake.in ${PROJECT_BINARY_DIR}/mvfiles-pc.cmake @ONLY)
install(SCRIPT ${PROJECT_BINARY_DIR}/mvfiles-pc.cmake)

if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/man/mvfiles.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/man/mvfiles.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
endif()

# The licence and the notices of what the binaries link in: beside the
# binaries in the Windows zip; on Linux one Debian copyright file
# (machine-readable format) holding both.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION .)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/debian-copyright.cmake)
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
