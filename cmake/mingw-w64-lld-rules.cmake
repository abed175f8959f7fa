# Link rules of mingw-w64-pdb.cmake: CMake's own, with the lld driver in
# place of the compiler. GCC-only flags in them do not reach the driver.
foreach(_lang C CXX)
  foreach(_rule CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE LINK_EXECUTABLE)
    string(REPLACE "<CMAKE_${_lang}_COMPILER>" "${MVFILES_LINK_DRIVER}"
           CMAKE_${_lang}_${_rule} "${CMAKE_${_lang}_${_rule}}")
  endforeach()
endforeach()
