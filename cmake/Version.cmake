# The program's identity for code and for the desktop files: the version comes from project() alone.
set(TAVRIN_RELEASE_DATE 2026-12-07)
set(TAVRIN_DESKTOP_ID example.kestrava.TavrinUpdate)

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildInfo.h.in ${CMAKE_BINARY_DIR}/generated/BuildInfo.h @ONLY)
add_library(buildinfo INTERFACE)
target_include_directories(buildinfo INTERFACE ${CMAKE_BINARY_DIR}/generated)
