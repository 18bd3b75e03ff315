# The program's version and application id, both from here: Version.h for the programs, and the
# desktop files, icon names and packages (desktop/, cmake/Packaging.cmake) use the same variables.
set(ZEMRIK_APP_ID org.zemrik.Zemrik)

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/zemrik/Version.h @ONLY)
add_library(zemrik_version INTERFACE)
target_include_directories(zemrik_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
