# The test suites on Windows: GoogleTest cross-built from Debian's sources,
# each suite program one CTest test, run under Wine when cross-compiling.

set(MVFILES_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${MVFILES_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# What only Linux can run: libcurl's resolver-thread counting, the symbol
# table of the .so (the DLL has its own packaging checks), and the
# allocation-failure suites, which interpose the C library's heap.
set(MVFILES_LINUX_ONLY_SUITES "/(curl_threads|exports)_test\\.cpp$")
set(MVFILES_LINUX_ONLY_SUPPORT "^$")

if(CMAKE_CROSSCOMPILING)
  find_program(MVFILES_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(MVFILES_WINE NAMES wine64 wine)
  if(NOT MVFILES_WINE)
    message(WARNING "wine64 not found: the Windows tests are built but cannot run")
  endif()
  find_program(MVFILES_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(MVFILES_WINESERVER NAMES wineserver)
  # One Wine prefix inside the build tree, made once before the first suite.
  set(MVFILES_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(MVFILES_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${MVFILES_WINE_RUN} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  add_test(NAME wine_prefix COMMAND ${MVFILES_WINE_RUN} --init)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine_server_stop COMMAND ${MVFILES_WINE_RUN} --stop)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
  # The CLI suite runs the installed program; the installation itself is a
  # step of the build machine.
  set(MVFILES_INSTALLED_PREFIX ${CMAKE_BINARY_DIR}/installed)
  add_test(NAME install_tree COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR}
                                     --prefix ${MVFILES_INSTALLED_PREFIX})
  set_tests_properties(install_tree PROPERTIES FIXTURES_SETUP installed)
endif()

function(mvfiles_add_windows_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(CMAKE_CROSSCOMPILING)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${MVFILES_WINE_RUN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
    if(name STREQUAL "cli_test")
      target_compile_definitions(${name} PRIVATE MVFILES_INSTALLED_PREFIX="${MVFILES_INSTALLED_PREFIX}")
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;installed")
    endif()
  endif()
endfunction()

# Packaging checks, run on the build machine: the DLL's export and import
# tables, and the public headers as an MSVC host and a MinGW C host see them.
if(CMAKE_CROSSCOMPILING)
  find_program(MVFILES_OBJDUMP NAMES ${MVFILES_MINGW_TRIPLE}-objdump x86_64-w64-mingw32-objdump)
  set(_shipped "")
  if(MVFILES_PDB)
    find_program(MVFILES_PDBUTIL NAMES llvm-pdbutil-14 llvm-pdbutil)
    list(APPEND _shipped -DPDB=${CMAKE_BINARY_DIR}/tools/mvfiles.pdb -DPDBUTIL=${MVFILES_PDBUTIL}
         "-DBUILD_DIRS=${CMAKE_SOURCE_DIR}\;${CMAKE_BINARY_DIR}")
  endif()
  if(MVFILES_MSVC_IMPLIB)
    find_program(MVFILES_NM NAMES llvm-nm-14 llvm-nm)
    list(APPEND _shipped -DIMPLIB=${MVFILES_MSVC_IMPLIB} -DNM=${MVFILES_NM})
  endif()
  add_test(NAME pe_tables COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MVFILES_OBJDUMP}
           -DHEADER=${CMAKE_SOURCE_DIR}/include/mvfiles.h -DDLL=$<TARGET_FILE:mvfiles>
           -DEXE=$<$<TARGET_EXISTS:mvfiles_cli>:$<TARGET_FILE:mvfiles_cli>> ${_shipped}
           -P ${CMAKE_SOURCE_DIR}/tests/windows/pe_tables.cmake)
  set(_headers ${CMAKE_SOURCE_DIR}/include/mvfiles.h ${CMAKE_SOURCE_DIR}/include/veltrona_http.h)
  set(_strict -fsyntax-only -Wall -Wextra -pedantic -Werror -I${CMAKE_SOURCE_DIR}/include)
  find_program(MVFILES_CLANG clang)
  if(MVFILES_CLANG)
    set(_msvc ${MVFILES_CLANG} --target=x86_64-pc-windows-msvc -ffreestanding ${_strict})
    add_test(NAME headers_msvc_c COMMAND ${_msvc} -x c -std=c99 ${_headers})
    add_test(NAME headers_msvc_cxx COMMAND ${_msvc} -x c++ -std=c++17 ${_headers})
  else()
    message(WARNING "clang not found: the MSVC header check is not run")
  endif()
  # A MinGW host compiles with GCC, whichever compiler builds the DLL.
  find_program(MVFILES_MINGW_GCC NAMES ${MVFILES_MINGW_TRIPLE}-gcc-posix ${MVFILES_MINGW_TRIPLE}-gcc)
  add_test(NAME headers_mingw_c COMMAND ${MVFILES_MINGW_GCC} ${_strict} -x c -std=c99 ${_headers})
  # Every other language mode a host may use, down to C89 and C++98.
  foreach(_mode "c;c89" "c++;c++98" "c++;c++11" "c++;c++17")
    list(GET _mode 0 _lang)
    list(GET _mode 1 _std)
    add_test(NAME headers_mingw_${_std} COMMAND ${MVFILES_MINGW_GCC} ${_strict} -x ${_lang} -std=${_std} ${_headers})
  endforeach()
  if(MVFILES_CLANG)
    add_test(NAME headers_msvc_c89 COMMAND ${_msvc} -x c -std=c89 ${_headers})
  endif()
endif()
