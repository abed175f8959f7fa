# mvfiles.dll: no "lib" prefix, import library libmvfiles.dll.a, the export
# table fixed by mvfiles.def, and a version resource.
enable_language(RC)

# The exports are the functions that include/mvfiles.h declares MVFILES_API.
file(STRINGS ${CMAKE_SOURCE_DIR}/include/mvfiles.h _decls REGEX "^MVFILES_API .*[ *]mvfiles_[a-z0-9_]+\\(")
set(_def "LIBRARY mvfiles.dll\nEXPORTS\n")
set(_n 0)
foreach(_d IN LISTS _decls)
  string(REGEX MATCH "mvfiles_[a-z0-9_]+\\(" _name "${_d}")
  string(REGEX REPLACE "\\($" "" _name "${_name}")
  string(APPEND _def "    ${_name}\n")
  math(EXPR _n "${_n} + 1")
endforeach()
set(MVFILES_DEF_FILE ${CMAKE_BINARY_DIR}/mvfiles.def)
file(CONFIGURE OUTPUT ${MVFILES_DEF_FILE} CONTENT "${_def}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/include/mvfiles.h)
message(STATUS "mvfiles.def: ${_n} exports")

# One version resource template for the DLL and the program.
set(MVFILES_RC_FILETYPE VFT_DLL)
set(MVFILES_RC_DESCRIPTION "mvfiles catalogue client library")
set(MVFILES_RC_FILENAME mvfiles.dll)
configure_file(${CMAKE_SOURCE_DIR}/cmake/mvfiles.rc.in ${CMAKE_BINARY_DIR}/mvfiles.rc @ONLY)
set(MVFILES_RC_FILETYPE VFT_APP)
set(MVFILES_RC_DESCRIPTION "mvfiles catalogue client program")
set(MVFILES_RC_FILENAME mvfiles.exe)
configure_file(${CMAKE_SOURCE_DIR}/cmake/mvfiles.rc.in ${CMAKE_BINARY_DIR}/mvfiles-cli.rc @ONLY)
set(MVFILES_CLI_RC_FILE ${CMAKE_BINARY_DIR}/mvfiles-cli.rc)
target_sources(mvfiles PRIVATE ${MVFILES_DEF_FILE} ${CMAKE_BINARY_DIR}/mvfiles.rc)
set_target_properties(mvfiles PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# Binaries as shipped (mingw-w64-pdb.cmake): no symbol table or debug
# information inside; with a PDB name, the PDB beside the binary, which its
# debug directory names by file name alone.
include(GNUInstallDirs)
function(mvfiles_ship_binary target)
  if(MVFILES_PDB)
    # lld keeps the objects' DWARF in the image beside the PDB;
    # removing it leaves the sections, and the debug directory, in place.
    target_link_options(${target} PRIVATE -Wl,-s)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${MVFILES_PE_STRIP} --strip-debug $<TARGET_FILE:${target}> VERBATIM)
    if(ARGC GREATER 1)
      set(pdb ${ARGV1})
      target_link_options(${target} PRIVATE -Wl,--pdb=${CMAKE_BINARY_DIR}/tools/${pdb}
                          -Wl,-Xlink=-pdbaltpath:${pdb})
      set_property(TARGET ${target} APPEND PROPERTY ADDITIONAL_CLEAN_FILES ${CMAKE_BINARY_DIR}/tools/${pdb})
      install(FILES ${CMAKE_BINARY_DIR}/tools/${pdb} DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endif()
endfunction()
mvfiles_ship_binary(mvfiles mvfiles.pdb)

# The import library for MSVC hosts, made from the .def: llvm-dlltool
# writes the __imp_ symbol and the thunk of each export.
find_program(MVFILES_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool)
if(MVFILES_DLLTOOL)
  set(MVFILES_MSVC_IMPLIB ${CMAKE_BINARY_DIR}/mvfiles.lib)
  add_custom_command(OUTPUT ${MVFILES_MSVC_IMPLIB}
    COMMAND ${MVFILES_DLLTOOL} -m i386:x86-64 -d ${MVFILES_DEF_FILE} -l ${MVFILES_MSVC_IMPLIB}
    DEPENDS ${MVFILES_DEF_FILE} VERBATIM)
  add_custom_target(mvfiles_msvc_implib ALL DEPENDS ${MVFILES_MSVC_IMPLIB})
  install(FILES ${MVFILES_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
else()
  message(WARNING "llvm-dlltool not found: no mvfiles.lib for MSVC hosts")
endif()
