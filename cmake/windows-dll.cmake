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

configure_file(${CMAKE_SOURCE_DIR}/cmake/mvfiles.rc.in ${CMAKE_BINARY_DIR}/mvfiles.rc @ONLY)
target_sources(mvfiles PRIVATE ${MVFILES_DEF_FILE} ${CMAKE_BINARY_DIR}/mvfiles.rc)
set_target_properties(mvfiles PROPERTIES
  PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
