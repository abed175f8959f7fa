# yyjson built from an unpacked source directory (one C file), as a static
# library linked into the DLL and the packaged .so. The version must be the
# 0.10 that the Linux build uses.
set(MVFILES_YYJSON_SOURCE_DIR "" CACHE PATH "unpacked yyjson 0.10.0 sources (scripts/setup.sh --windows)")
set(_yyjson_h ${MVFILES_YYJSON_SOURCE_DIR}/src/yyjson.h)
if(NOT EXISTS ${MVFILES_YYJSON_SOURCE_DIR}/src/yyjson.c OR NOT EXISTS ${_yyjson_h})
  message(FATAL_ERROR "MVFILES_YYJSON_SOURCE_DIR must name the unpacked yyjson 0.10 sources "
                      "(run scripts/setup.sh --windows); got '${MVFILES_YYJSON_SOURCE_DIR}'")
endif()
file(STRINGS ${_yyjson_h} _yyjson_ver REGEX "^#define YYJSON_VERSION_STRING ")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" _yyjson_ver "${_yyjson_ver}")
if(NOT _yyjson_ver MATCHES "^0\\.10\\.")
  message(FATAL_ERROR "yyjson 0.10.x required, found '${_yyjson_ver}' in ${MVFILES_YYJSON_SOURCE_DIR}")
endif()

add_library(mvfiles_yyjson STATIC ${MVFILES_YYJSON_SOURCE_DIR}/src/yyjson.c)
target_include_directories(mvfiles_yyjson SYSTEM PUBLIC ${MVFILES_YYJSON_SOURCE_DIR}/src)
# Its functions stay inside the library: hidden here, and the export list
# (version script or .def) names only mvfiles_ functions.
set_target_properties(mvfiles_yyjson PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
target_compile_definitions(mvfiles_yyjson PUBLIC yyjson_api=)
