# Read by cpack before it builds a package (CPACK_PROJECT_CONFIG_FILE).
# CPack's Debian generator runs whatever SHLIBDEPS_EXECUTABLE names.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(SHLIBDEPS_EXECUTABLE "${CPACK_MVFILES_SHLIBDEPS}")
endif()
